#include "core/link/QualityLevels.h"

#include <algorithm>
#include <iterator>

namespace screenlink {

namespace {

// Frames under this many seconds count as fast, over the other as slow; both
// compared in single precision.
constexpr float kFastFrameSeconds = 0.8f;
constexpr float kSlowFrameSeconds = 2.2f;
constexpr qint16 kFastFramesToRaise = 5;

template <typename Row, qsizetype N>
const Row& RowFor(const Row (&table)[N], int level)
{
    return level >= 1 && level < N ? table[level - 1] : table[N - 1];
}

qint16 Clamped(int level, int low, int high) { return static_cast<qint16>(std::clamp(level, low, high)); }

}  // namespace

const SharpnessRow& SharpnessFor(int nivelNitidez) { return RowFor(kSharpnessTable, nivelNitidez); }
const UpdateSpeedRow& UpdateSpeedFor(int nivelAtualizacao) { return RowFor(kUpdateSpeedTable, nivelAtualizacao); }

int IntervaloFrame(int nivelAtualizacao) { return UpdateSpeedFor(nivelAtualizacao).intervalMs; }
QString NomeNitidez(int nivelNitidez) { return QString::fromLatin1(SharpnessFor(nivelNitidez).word); }
QString NomeAtualizacao(int nivelAtualizacao) { return QString::fromLatin1(UpdateSpeedFor(nivelAtualizacao).word); }

void QualityState::RestaurarQualidade() { *this = QualityState(); }

void QualityState::EscolherNitidez(int nivel)
{
    nivelNitidez_ = Clamped(nivel, kMinNitidez, kMaxNitidez);
    nitidezManual_ = true;
}

void QualityState::EscolherAtualizacao(int nivel)
{
    nivelAtualizacao_ = Clamped(nivel, kMinAtualizacao, kMaxAtualizacao);
}

void QualityState::AplicarComandoQualidade(int nivelNitidez, int nivelAtualizacao)
{
    EscolherNitidez(nivelNitidez);
    EscolherAtualizacao(nivelAtualizacao);
}

QualityChange QualityState::AjustarQualidadeAutomatica(float seconds)
{
    if (seconds <= 0.0f || nitidezManual_)
        return {};
    if (seconds > kSlowFrameSeconds)
        return ReduzirNitidez();
    if (seconds < kFastFrameSeconds) {
        // Held at the mark, so that at the top level each further fast frame
        // asks again without the count ever overflowing.
        enviosRapidos_ = std::min<qint16>(enviosRapidos_ + 1, kFastFramesToRaise);
        if (enviosRapidos_ >= kFastFramesToRaise)
            return AumentarNitidez();
        return {};
    }
    enviosRapidos_ = 0;
    return {};
}

QualityChange QualityState::AumentarNitidez()
{
    if (nivelNitidez_ >= kMaxNitidez)
        return {};
    ++nivelNitidez_;
    enviosRapidos_ = 0;
    return {true, QStringLiteral("Qualidade da tela ajustada automaticamente para nivel %1.").arg(nivelNitidez_)};
}

QualityChange QualityState::ReduzirNitidez()
{
    if (nivelNitidez_ <= kMinNitidez)
        return {};
    --nivelNitidez_;
    enviosRapidos_ = 0;
    return {true, QStringLiteral("Qualidade da tela reduzida automaticamente para manter resposta.")};
}

int QualityState::QualidadeJpeg(bool relayAtivo) const
{
    const SharpnessRow& row = SharpnessFor(nivelNitidez_);
    return relayAtivo ? row.relayQuality : row.directQuality;
}

int QualityState::LarguraMaxima(bool relayAtivo) const
{
    const SharpnessRow& row = SharpnessFor(nivelNitidez_);
    return relayAtivo ? row.relayWidth : row.directWidth;
}

int QualityState::AlturaMaxima(bool relayAtivo) const
{
    const SharpnessRow& row = SharpnessFor(nivelNitidez_);
    return relayAtivo ? row.relayHeight : row.directHeight;
}

}  // namespace screenlink
