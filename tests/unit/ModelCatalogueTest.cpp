#include <gtest/gtest.h>

#include "common/Failure.h"
#include "report/ModelCatalogue.h"

namespace velmaris {
namespace {

TEST(ModelCatalogue, HoldsTheTwentySixNamesInCodeOrder) {
  const char* const names[] = {"TX-2 8",
                               "TX-2 16",
                               "TX-2 30",
                               "TX-3 08",
                               "TX-3 16",
                               "Mirel 08",
                               "Mirel 16 Ampliado",
                               "Mirel Demostración",
                               "Mirel con Relé",
                               "Mirel Tubo",
                               "Nexo 2009/2012",
                               "Nexo 2012 con Relé",
                               "VELMARIS_BUCLE_CTRL",
                               "RV-2 Pista",
                               "VELMARIS_MIREL_CTRL_AMP",
                               "Nexo 2009/2010 SW en RPM2",
                               "Tavo 2013/2014",
                               "Tavo 2013/2014 con Relé",
                               "Nexo 2013/14 2 Relés",
                               "Nexo 2013/14",
                               "Nexo 2013/14 con Sensor",
                               "Nexo KoraNET",
                               "Tavo KoraNET",
                               "Orla/Brisa 2020",
                               "Umbra 2020",
                               "Modelo Futuro No Identificado"};
  ModelCatalogue catalogue;
  catalogue.FillModelCatalogue();
  for (int32_t code = 0; code <= 25; ++code) EXPECT_EQ(catalogue.Name(code), names[code]) << code;
}

TEST(ModelCatalogue, IsEmptyUntilFilled) {
  ModelCatalogue catalogue;
  EXPECT_EQ(catalogue.Name(21), "");
}

TEST(ModelCatalogue, RefusesCodesOutsideTheTable) {
  ModelCatalogue catalogue;
  catalogue.FillModelCatalogue();
  for (int32_t code : {-1, 26, -32768, 32767, INT32_MIN, INT32_MAX}) {
    EXPECT_THROW(catalogue.Name(code), Failure) << code;
  }
  try {
    catalogue.Name(26);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.source(), "VelmarisDiag");
    EXPECT_EQ(failure.description(),
              "Subíndice fuera del intervalo: no hay modelo con el código 26");
  }
}

TEST(ModelCatalogue, BandsSplitTheWholeSixteenBitRange) {
  for (int32_t c = INT16_MIN; c <= INT16_MAX; ++c) {
    const auto code = static_cast<int16_t>(c);
    EXPECT_EQ(AllWindowsBand(code) + XpSevenBand(code) + SerialPortBand(code), 1) << c;
  }
  EXPECT_TRUE(SerialPortBand(13));
  EXPECT_TRUE(SerialPortBand(-1));
  EXPECT_TRUE(XpSevenBand(14));
  EXPECT_TRUE(XpSevenBand(18));
  EXPECT_TRUE(AllWindowsBand(19));
  EXPECT_TRUE(AllWindowsBand(25));
  EXPECT_TRUE(AllWindowsBand(26));
}

TEST(ModelCatalogue, OnlyCodes21And22HaveTheAccessoryBus) {
  for (int32_t c = INT16_MIN; c <= INT16_MAX; ++c) {
    EXPECT_EQ(AccessoryBusCodes(static_cast<int16_t>(c)), c == 21 || c == 22) << c;
  }
}

}  // namespace
}  // namespace velmaris
