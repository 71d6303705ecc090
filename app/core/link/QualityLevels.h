#pragma once

#include <QString>
#include <QtGlobal>

namespace screenlink {

// The sharpness level ("Nitidez"): the JPEG quality and the largest frame
// sent, on the direct route and on the relay.
struct SharpnessRow {
    const char* word;
    int directQuality;
    int directWidth;
    int directHeight;
    int relayQuality;
    int relayWidth;
    int relayHeight;
};

// The update-speed level ("Atualizacao"): how often `tmrFrame` fires.
struct UpdateSpeedRow {
    const char* word;
    int intervalMs;
};

// Levels 1 to 4, in order.
inline constexpr SharpnessRow kSharpnessTable[] = {
    {"leve", 50, 1280, 720, 48, 1280, 720},
    {"boa", 58, 1920, 1080, 58, 1600, 900},
    {"alta", 64, 2560, 1440, 66, 1920, 1080},
    {"maxima", 70, 3200, 1800, 76, 2560, 1440},
};

// Levels 1 to 5, in order.
inline constexpr UpdateSpeedRow kUpdateSpeedTable[] = {
    {"economica", 650},
    {"normal", 500},
    {"rapida", 375},
    {"muito rapida", 275},
    {"maxima", 175},
};

inline constexpr int kMinNitidez = 1;
inline constexpr int kMaxNitidez = 4;
inline constexpr int kDefaultNitidez = 3;
inline constexpr int kMinAtualizacao = 1;
inline constexpr int kMaxAtualizacao = 5;
inline constexpr int kDefaultAtualizacao = 3;

// A level outside the table reads as its last row.
const SharpnessRow& SharpnessFor(int nivelNitidez);
const UpdateSpeedRow& UpdateSpeedFor(int nivelAtualizacao);

int IntervaloFrame(int nivelAtualizacao);
QString NomeNitidez(int nivelNitidez);
QString NomeAtualizacao(int nivelAtualizacao);

// What a quality operation did, for the main window's `AplicarQualidade`
// (timer interval, scroll bars, labels) and its activity log.
struct QualityChange {
    bool levelsChanged = false;
    QString logLine;  // empty: nothing to log
};

// The two levels of the picture the supported side sends, and the automatic
// adjustment of the sharpness from how long each frame takes to leave. The
// levels are kept clamped into their ranges. User-interface thread only.
class QualityState {
public:
    qint16 NivelNitidez() const { return nivelNitidez_; }
    qint16 NivelAtualizacao() const { return nivelAtualizacao_; }
    bool NitidezManual() const { return nitidezManual_; }
    qint16 EnviosRapidos() const { return enviosRapidos_; }

    // Back to "alta" and "rapida", automatic adjustment on.
    void RestaurarQualidade();
    // The user's own scroll bars; choosing the sharpness ends automatic adjustment.
    void EscolherNitidez(int nivel);
    void EscolherAtualizacao(int nivel);
    // The technician's quality command ("CF"); ends automatic adjustment.
    void AplicarComandoQualidade(int nivelNitidez, int nivelAtualizacao);

    // `seconds`: how long the last frame took to leave.
    QualityChange AjustarQualidadeAutomatica(float seconds);
    QualityChange AumentarNitidez();
    QualityChange ReduzirNitidez();

    int QualidadeJpeg(bool relayAtivo) const;
    int LarguraMaxima(bool relayAtivo) const;
    int AlturaMaxima(bool relayAtivo) const;
    int IntervaloFrame() const { return screenlink::IntervaloFrame(nivelAtualizacao_); }

private:
    qint16 nivelNitidez_ = kDefaultNitidez;
    qint16 nivelAtualizacao_ = kDefaultAtualizacao;
    bool nitidezManual_ = false;
    qint16 enviosRapidos_ = 0;
};

}  // namespace screenlink
