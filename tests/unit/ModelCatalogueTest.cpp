#include <gtest/gtest.h>

#include "common/Failure.h"
#include "report/ModelCatalogue.h"

namespace velmaris {
namespace {

TEST(ModelCatalogue, HoldsTheTwentySixNamesInCodeOrder) {
  ModelCatalogue catalogue;
  catalogue.FillModelCatalogue();
  EXPECT_EQ(catalogue.Name(0), "TX-2 8");
  EXPECT_EQ(catalogue.Name(7), "Mirel Demostración");
  EXPECT_EQ(catalogue.Name(12), "VELMARIS_BUCLE_CTRL");
  EXPECT_EQ(catalogue.Name(13), "RV-2 Pista");
  EXPECT_EQ(catalogue.Name(14), "VELMARIS_MIREL_CTRL_AMP");
  EXPECT_EQ(catalogue.Name(18), "Nexo 2013/14 2 Relés");
  EXPECT_EQ(catalogue.Name(19), "Nexo 2013/14");
  EXPECT_EQ(catalogue.Name(21), "Nexo KoraNET");
  EXPECT_EQ(catalogue.Name(22), "Tavo KoraNET");
  EXPECT_EQ(catalogue.Name(25), "Modelo Futuro No Identificado");
  for (int32_t code = 0; code <= 25; ++code) EXPECT_FALSE(catalogue.Name(code).empty()) << code;
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
