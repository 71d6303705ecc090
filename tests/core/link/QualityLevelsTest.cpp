#include "core/link/QualityLevels.h"

#include <gtest/gtest.h>

#include <vector>

namespace screenlink {
namespace {

// The two tables' columns are not swapped; a level outside reads as the last row.
TEST(QualityLevels, EachRouteTakesItsOwnColumnsAndOutsideLevelsReadAsTheLast)
{
    QualityState q;
    EXPECT_EQ(std::tuple(q.QualidadeJpeg(false), q.QualidadeJpeg(true), q.LarguraMaxima(false), q.AlturaMaxima(true)),
              std::tuple(64, 66, 2560, 1080));
    EXPECT_EQ(NomeNitidez(0), "maxima");
    EXPECT_EQ(IntervaloFrame(9), 175);
}

// Frame times in a row from the starting level 3: where the sharpness ends,
// the fast frames counted, and what the last frame changed and said.
TEST(QualityLevels, FrameTimesMoveTheAutomaticSharpnessByTheTable)
{
    const QString raised = "Qualidade da tela ajustada automaticamente para nivel 4.";
    const QString lowered = "Qualidade da tela reduzida automaticamente para manter resposta.";
    const float f = 0.5f;
    const struct {
        const char* why;
        std::vector<float> seconds;
        int nivel, rapidos;
        QString said;
    } runs[] = {
        {"four fast frames", {f, f, f, f}, 3, 4, ""},
        {"the fifth raises and restarts the count", {f, f, f, f, f}, 4, 0, raised},
        {"at the top fast frames ask again without effect", {f, f, f, f, f, f, f, f, f, f, f}, 4, 5, ""},
        {"a frame in the middle band restarts the count", {f, f, f, f, 1.0f, f, f, f, f}, 3, 4, ""},
        {"exactly 2.2 s is not slow", {f, 2.2f}, 3, 0, ""},
        {"exactly 0.8 s is not fast", {f, f, f, f, 0.8f}, 3, 0, ""},
        {"a slow frame lowers and restarts the count", {f, 2.5f}, 2, 0, lowered},
        {"down to level one", {2.5f, 2.5f, 2.5f}, 1, 0, ""},
        {"a frame time of zero counts for nothing", {f, 0.0f}, 3, 1, ""},
    };
    for (const auto& run : runs) {
        QualityState q;
        QualityChange last;
        for (const float seconds : run.seconds)
            last = q.AjustarQualidadeAutomatica(seconds);
        EXPECT_EQ(std::tuple(q.NivelNitidez(), q.EnviosRapidos(), last.levelsChanged, last.logLine),
                  std::tuple(run.nivel, run.rapidos, !run.said.isEmpty(), run.said))
            << run.why;
    }
}

TEST(QualityLevels, AChosenSharpnessIsClampedAndStopsAutomaticChangesUntilRestored)
{
    QualityState q;
    q.AplicarComandoQualidade(9, 0);
    EXPECT_EQ(std::tuple(q.NivelNitidez(), q.NivelAtualizacao(), q.NitidezManual()), std::tuple(4, 1, true));
    for (const float seconds : {3.0f, 3.0f})
        EXPECT_FALSE(q.AjustarQualidadeAutomatica(seconds).levelsChanged);
    EXPECT_EQ(q.NivelNitidez(), 4);
    q.RestaurarQualidade();
    EXPECT_EQ(std::tuple(q.NitidezManual(), q.IntervaloFrame()), std::tuple(false, 375));
    q.EscolherAtualizacao(5);
    EXPECT_EQ(q.IntervaloFrame(), 175);
    EXPECT_FALSE(q.NitidezManual()) << "the update speed leaves automatic sharpness on";
}

}  // namespace
}  // namespace screenlink
