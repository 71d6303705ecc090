#include "core/link/QualityLevels.h"

#include <gtest/gtest.h>

namespace screenlink {
namespace {

QualityChange Frames(QualityState& q, std::initializer_list<float> seconds)
{
    QualityChange last;
    for (const float s : seconds)
        last = q.AjustarQualidadeAutomatica(s);
    return last;
}

// The two tables' columns are not swapped; a level outside reads as the last row.
TEST(QualityLevels, EachRouteTakesItsOwnColumnsAndOutsideLevelsReadAsTheLast)
{
    QualityState q;
    EXPECT_EQ(std::tuple(q.QualidadeJpeg(false), q.QualidadeJpeg(true), q.LarguraMaxima(false), q.AlturaMaxima(true)),
              std::tuple(64, 66, 2560, 1080));
    EXPECT_EQ(NomeNitidez(0), "maxima");
    EXPECT_EQ(IntervaloFrame(9), 175);
}

TEST(QualityLevels, FiveFastFramesRaiseTheSharpnessAndRestartTheCount)
{
    QualityState q;
    EXPECT_FALSE(Frames(q, {0.5f, 0.5f, 0.5f, 0.5f}).levelsChanged);
    const QualityChange change = q.AjustarQualidadeAutomatica(0.5f);
    EXPECT_EQ(change.logLine, "Qualidade da tela ajustada automaticamente para nivel 4.");
    EXPECT_EQ(std::tuple(change.levelsChanged, q.NivelNitidez(), q.EnviosRapidos()), std::tuple(true, 4, 0));

    // At the top each further fast frame asks again, without effect.
    EXPECT_FALSE(Frames(q, {0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f}).levelsChanged);
    EXPECT_EQ(q.NivelNitidez(), 4);
}

TEST(QualityLevels, AFrameInTheMiddleBandRestartsTheCount)
{
    QualityState q;
    EXPECT_FALSE(Frames(q, {0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 0.5f, 0.5f, 0.5f, 0.5f}).levelsChanged);
    EXPECT_EQ(std::tuple(q.NivelNitidez(), q.EnviosRapidos()), std::tuple(3, 4));
    q.AjustarQualidadeAutomatica(2.2f);
    EXPECT_EQ(q.EnviosRapidos(), 0) << "exactly 2.2 s is not slow";
    Frames(q, {0.5f, 0.5f, 0.5f, 0.5f, 0.8f});
    EXPECT_EQ(q.EnviosRapidos(), 0) << "exactly 0.8 s is not fast";
    EXPECT_EQ(q.NivelNitidez(), 3);
}

TEST(QualityLevels, OneSlowFrameLowersTheSharpnessDownToLevelOne)
{
    QualityState q;
    q.AplicarComandoQualidade(2, 3);
    q.RestaurarQualidade();
    EXPECT_FALSE(q.NitidezManual());
    q.AjustarQualidadeAutomatica(2.5f);
    const QualityChange change = q.AjustarQualidadeAutomatica(2.5f);
    EXPECT_EQ(change.logLine, "Qualidade da tela reduzida automaticamente para manter resposta.");
    EXPECT_EQ(std::tuple(change.levelsChanged, q.NivelNitidez()), std::tuple(true, 1));
    const QualityChange none = q.AjustarQualidadeAutomatica(2.5f);
    EXPECT_TRUE(!none.levelsChanged && none.logLine.isEmpty());
    EXPECT_FALSE(q.AjustarQualidadeAutomatica(0.0f).levelsChanged);
}

TEST(QualityLevels, AChosenSharpnessIsClampedAndStopsAutomaticChanges)
{
    QualityState q;
    q.AplicarComandoQualidade(9, 0);
    EXPECT_EQ(std::tuple(q.NivelNitidez(), q.NivelAtualizacao(), q.NitidezManual()), std::tuple(4, 1, true));
    EXPECT_FALSE(Frames(q, {3.0f, 3.0f}).levelsChanged);
    EXPECT_EQ(q.NivelNitidez(), 4);

    QualityState own;
    own.EscolherAtualizacao(5);
    EXPECT_EQ(own.IntervaloFrame(), 175);
    EXPECT_FALSE(own.NitidezManual()) << "the update speed leaves automatic sharpness on";
    own.RestaurarQualidade();
    EXPECT_EQ(own.IntervaloFrame(), 375);
}

}  // namespace
}  // namespace screenlink
