#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"
#include "common/Failure.h"

namespace velmaris {
namespace {

using fakes::I16;
using fakes::I32;

using fakes::IdentificationArray;
using fakes::ReportLines;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using fakes::kHeadLines;

struct IdentificationReport : fakes::FormTest {
  void SetUp() override { Load(); }

  std::vector<std::string> Written() const {
    const std::vector<std::string> lines = ReportLines(view.report);
    return {lines.begin() + kHeadLines, lines.end()};
  }

  // Writes the report for a unit and returns the lines it added.
  std::vector<std::string> Report(Value model, Value firmware, Value serial) {
    form.WriteIdentificationReport(IdentificationArray(model, firmware, serial));
    return Written();
  }
};

TEST_F(IdentificationReport, WorkedExampleLineForLine) {
  EXPECT_THAT(
      Report(I16(21), Value::text("3.10"), I16(300)),
      ElementsAre("Código de Modelo: 21", "Nombre del Modelo: Nexo KoraNET", "Número de Serie: 12C",
                  "Versión de Firmware: 3.10", "Prescaler RPM1: 1", "Prescaler RPM2: 1",
                  "===========================", "COMPATIBILIDAD DEL SOFTWARE",
                  "===========================", "Esta versión de Windows es compatible con las ",
                  "últimas versiones del software Velmaris (año 2022 en adelante) ",
                  "==== KORANET ====",
                  "Esta interface posee comunicación KoraNET. Click en Detectar para "
                  "resetear Accesorios",
                  "================================", "COMPATIBILIDAD DEL HARDWARE",
                  "================================",
                  "Esta interface es compatible con todos los Windows"));
  EXPECT_TRUE(view.resetVisible);
  EXPECT_TRUE(view.detectVisible);
  EXPECT_EQ(levelQueries, 1);
  const std::vector<std::string> all = ReportLines(view.report);
  EXPECT_THAT(ReportLines(reportWhenLevelAsked),
              ElementsAreArray(all.begin(), all.begin() + kHeadLines + 9))
      << "the Windows version is asked once the software heading is written";
  EXPECT_THAT(control.calls, ElementsAre("Prescaler(0)", "Prescaler(1)"));
  EXPECT_EQ(view.status, "");
  EXPECT_TRUE(view.timerEnabled);
}

TEST_F(IdentificationReport, SerialPortUnitOnOldWindowsWithSerialZero) {
  level = 6;
  const std::vector<std::string> lines = Report(I16(13), Value::real(2.0), I16(0));
  EXPECT_THAT(
      lines,
      ElementsAre(
          "Código de Modelo: 13", "Nombre del Modelo: RV-2 Pista", "Número de Serie: 0",
          "Versión de Firmware: 2", "Prescaler RPM1: 1", "Prescaler RPM2: 1",
          "===========================", "COMPATIBILIDAD DEL SOFTWARE",
          "===========================", "Esta versión de Windows NO ES COMPATIBLE con las ",
          "últimas versiones del software Velmaris (año 2022 en adelante) ",
          "Recomendamos actualizar el Windows a Windows 7 o superior ",
          "================================", "COMPATIBILIDAD DEL HARDWARE",
          "================================", "Esta interface es compatible con todos los Windows",
          "Tenga en cuenta que como la conexión es por PUERTO SERIAL",
          "es posible que si usa un adaptador USB a Serial,",
          "el mismo puede NO SER COMPATIBLE con algunas versiones", "de Windows más actualizadas.",
          "Deberá instalar el driver más actualizado del fabricante ",
          "de su adaptador y si este no funciona",
          "deberá adquirir un adaptador nuevo. Según nuestra experiencia",
          "solo funcionan bien las marcas Manhattan o Nisuta.",
          "PARA UTILIZAR LAS ULTIMAS VERSIONES DE VELMARIS",
          "DEBE ACTUALIZAR ESTA INTERFACE ELECTRONICA",
          "LA ACTUALIZACION SE REALIZA EN NUESTRO TALLER",
          "DEBERÁ ENVIARNOS LA INTERFACE (CAJITA NEGRA)",
          "Y SI TUVIERA CENTRAL ATMOSFÉRICA, TAMBIEN"));
  EXPECT_TRUE(view.resetVisible);
  EXPECT_FALSE(view.detectVisible);
}

struct BandCase {
  int16_t code;
  int32_t serial;
  int16_t level;
  size_t lines;
  bool accessoryBus;
  const char* firstHardwareLine;
  bool update;
};

TEST_F(IdentificationReport, EachBandAndLevelGetsItsSections) {
  const char* const all = "Esta interface es compatible con todos los Windows";
  const char* const xp = "Esta interface solo es compatible con Windows XP o Windows 7";
  const BandCase cases[] = {
      {0, 0, 7, 28, false, all, true},   {13, 0, 8, 28, false, all, true},
      {13, 1, 8, 23, false, all, false}, {13, -1, 0, 24, false, all, false},
      {14, 1, 7, 20, false, xp, true},   {18, 0, 6, 21, false, xp, true},
      {19, 0, 8, 15, false, all, false}, {20, 0, 7, 15, false, all, false},
      {23, 5, 6, 16, false, all, false}, {25, 0, 10, 15, false, all, false},
      {21, 0, 5, 18, true, all, false},  {22, 9, 8, 17, true, all, false},
  };
  for (const BandCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "code " << c.code << " serial " << c.serial << " level " << c.level);
    fakes::FakeForm fresh;
    fresh.level = c.level;
    fresh.form.Form_Load();
    fresh.form.WriteIdentificationReport(IdentificationArray(I16(c.code), I16(1), I32(c.serial)));
    const std::vector<std::string> lines = ReportLines(fresh.view.report);
    const std::vector<std::string> written(lines.begin() + kHeadLines, lines.end());
    ASSERT_EQ(written.size(), c.lines);
    const bool newWindows = c.level >= 7;
    EXPECT_EQ(written[9], newWindows ? "Esta versión de Windows es compatible con las "
                                     : "Esta versión de Windows NO ES COMPATIBLE con las ");
    const size_t hardware = 6 + 3 + (newWindows ? 2 : 3) + (c.accessoryBus ? 2 : 0);
    EXPECT_EQ(written[hardware + 1], "COMPATIBILIDAD DEL HARDWARE");
    EXPECT_EQ(written[hardware + 3], c.firstHardwareLine);
    EXPECT_EQ(written.back() == "Y SI TUVIERA CENTRAL ATMOSFÉRICA, TAMBIEN", c.update);
    EXPECT_EQ(fresh.view.detectVisible, c.accessoryBus);
    EXPECT_TRUE(fresh.view.resetVisible);
  }
}

TEST_F(IdentificationReport, RendersValuesAsTheUnitGivesThem) {
  control.prescalers[0] = Value::integer(16, 8, false);
  control.prescalers[1] = Value::integer(0, 8, false);
  EXPECT_THAT(Report(I16(19), Value::real(3.1), I32(255)),
              ::testing::IsSupersetOf({"Número de Serie: FF", "Versión de Firmware: 3.1",
                                       "Prescaler RPM1: 16", "Prescaler RPM2: 0"}));
  const size_t before = Written().size();
  const std::vector<std::string> texts = Report(Value::text(" 20 "), Value::text(" v3 "), I16(-1));
  EXPECT_EQ(texts[before], "Código de Modelo: 20");
  EXPECT_EQ(texts[before + 1], "Nombre del Modelo: Nexo 2013/14 con Sensor");
  EXPECT_EQ(texts[before + 2], "Número de Serie: FFFF");
  EXPECT_EQ(texts[before + 3], "Versión de Firmware:  v3 ");
  // A Boolean True is -1 as a code, while its text "True" begins with no number: name 0.
  const size_t beforeFlag = Written().size();
  const std::vector<std::string> flag = Report(Value::boolean(true), Value::text("v"), I16(1));
  EXPECT_EQ(flag[beforeFlag], "Código de Modelo: -1");
  EXPECT_EQ(flag[beforeFlag + 1], "Nombre del Modelo: TX-2 8");
}

// The firmware line is the label joined to the element's text form: Null and Empty leave the
// label alone, and a text from the unit can neither add a line nor make one endless.
TEST_F(IdentificationReport, FirmwareLineIsTheLabelJoinedToTheElement) {
  const std::string limit(1000, 'x');
  const std::pair<Value, std::string> cases[] = {
      {Value::null(), ""},
      {Value(), ""},
      {Value::real(1234567.891234567), "1234567.89123457"},
      {Value::single(2.2f), "2.2"},
      {Value::text("4.02\r\nCódigo de Modelo: 99"), "4.02¶¶Código de Modelo: 99"},
      {Value::text(std::string("3\0\t1", 4)), "3¶¶1"},
      {Value::text(limit), limit},
      {Value::text(limit + "yz"), limit + "[…]"},
  };
  for (const auto& [firmware, text] : cases) {
    fakes::FakeForm fresh;
    fresh.form.Form_Load();
    fresh.form.WriteIdentificationReport(IdentificationArray(I16(19), firmware, I16(1)));
    const std::vector<std::string> lines = ReportLines(fresh.view.report);
    ASSERT_EQ(lines.size(), kHeadLines + 15) << "the report went on to its end";
    EXPECT_EQ(lines[kHeadLines + 3], "Versión de Firmware: " + text);
  }
}

// Column 1 and rows 0, 1 and 3 are absolute indices, whatever each dimension's lower bound and
// however many columns the array has.
TEST_F(IdentificationReport, ReadsColumnOneWhateverTheBoundsAndTheWidth) {
  struct Shape {
    ValueArray::Bound rows, columns;
  };
  for (const Shape& shape :
       {Shape{{0, 4}, {1, 1}}, Shape{{-2, 6}, {0, 4}}, Shape{{0, 5}, {-1, 3}}}) {
    ValueArray array;
    array.bounds = {shape.rows, shape.columns};
    for (uint32_t column = 0; column < shape.columns.count; ++column) {
      for (uint32_t row = 0; row < shape.rows.count; ++row) {
        const int32_t i = shape.rows.lower + static_cast<int32_t>(row);
        const int32_t j = shape.columns.lower + static_cast<int32_t>(column);
        // Every element names its own place; only column 1 holds the unit's values.
        array.elements.push_back(j != 1   ? Value::text("x")
                                 : i == 0 ? I16(20)
                                 : i == 1 ? Value::text("7.5")
                                 : i == 3 ? I32(4660)
                                          : Value::text("y"));
      }
    }
    fakes::FakeForm fresh;
    fresh.form.Form_Load();
    fresh.form.WriteIdentificationReport(Value::array(array));
    const std::vector<std::string> lines = ReportLines(fresh.view.report);
    EXPECT_THAT(
        std::vector<std::string>(lines.begin() + kHeadLines, lines.begin() + kHeadLines + 4),
        ElementsAre("Código de Modelo: 20", "Nombre del Modelo: Nexo 2013/14 con Sensor",
                    "Número de Serie: 1234", "Versión de Firmware: 7.5"));
  }
}

TEST_F(IdentificationReport, LaterReportsAppendAndKeepTheDetectButton) {
  Report(I16(22), I16(1), I16(1));
  const size_t afterFirst = Written().size();
  Report(I16(19), I16(1), I16(1));
  const std::vector<std::string> lines = Written();
  EXPECT_EQ(lines.size(), afterFirst + 15);
  EXPECT_EQ(lines[afterFirst], "Código de Modelo: 19");
  EXPECT_TRUE(view.detectVisible);
}

struct FailureCase {
  const char* what;
  Value identification;
  size_t linesWritten;
};

TEST_F(IdentificationReport, StopsAtTheFirstFailureKeepingEarlierLines) {
  ValueArray oneDimensional;
  oneDimensional.bounds = {{0, 4}};
  oneDimensional.elements.assign(4, I16(21));
  ValueArray threeByThree;  // row 3 lies past the rows, though index (3, 1) falls within the data
  threeByThree.bounds = {{0, 3}, {0, 3}};
  threeByThree.elements = {Value::text("x"), Value::text("x"), Value::text("x"), I16(21), I16(1),
                           I16(7),           I16(1),           I16(1),           I16(1)};
  const FailureCase cases[] = {
      {"not an array", Value::text("21"), 0},
      {"Empty is no array", Value(), 0},
      {"one-dimensional", Value::array(oneDimensional), 0},
      {"model not a number", IdentificationArray(Value::text("abc"), I16(1), I16(1)), 0},
      {"model beyond 16 bits", IdentificationArray(I32(40000), I16(1), I16(1)), 0},
      {"model Null", IdentificationArray(Value::null(), I16(1), I16(1)), 0},
      {"model 26", IdentificationArray(I16(26), I16(1), I16(1)), 1},
      {"model -1", IdentificationArray(I16(-1), I16(1), I16(1)), 1},
      {"model text beyond 16 bits", IdentificationArray(Value::text("1e5"), I16(1), I16(1)), 0},
      {"no serial row", IdentificationArray(I16(21), I16(1), Value(), 3), 2},
      {"no serial row, three columns", Value::array(threeByThree), 2},
      {"serial not a number", IdentificationArray(I16(21), I16(1), Value::text("A1")), 2},
      {"serial beyond 32 bits",
       IdentificationArray(I16(21), I16(1), Value::integer(1LL << 32, 64, true)), 2},
      {"firmware an array", IdentificationArray(I16(21), Value::array({}), I16(1)), 3},
      {"firmware NaN", IdentificationArray(I16(21), Value::real(std::nan("")), I16(1)), 3},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    fakes::FakeForm fresh;
    fresh.form.Form_Load();
    EXPECT_THROW(fresh.form.WriteIdentificationReport(c.identification), Failure);
    EXPECT_EQ(ReportLines(fresh.view.report).size(), kHeadLines + c.linesWritten);
    EXPECT_FALSE(fresh.view.resetVisible);
    EXPECT_FALSE(fresh.view.detectVisible);
  }
}

TEST_F(IdentificationReport, PrescalerFailuresStopBeforeTheResetButton) {
  const std::pair<const char*, size_t> failingReads[] = {{"Prescaler(0)", 4}, {"Prescaler(1)", 5}};
  for (const auto& [read, written] : failingReads) {
    for (bool outOfRange : {false, true}) {
      SCOPED_TRACE(::testing::Message() << read << (outOfRange ? " out of range" : " fails"));
      fakes::FakeForm fresh;
      const int channel = read[10] - '0';
      if (outOfRange) {
        fresh.control.prescalers[channel] = I16(channel == 0 ? 256 : -1);
      } else {
        fresh.control.failing.emplace(read, Failure("QelCtrlInertial", "fallo"));
      }
      fresh.form.Form_Load();
      EXPECT_THROW(
          fresh.form.WriteIdentificationReport(IdentificationArray(I16(21), I16(1), I16(1))),
          Failure);
      EXPECT_EQ(ReportLines(fresh.view.report).size(), kHeadLines + written);
      EXPECT_FALSE(fresh.view.resetVisible);
      EXPECT_FALSE(fresh.view.detectVisible);
    }
  }
}

}  // namespace
}  // namespace velmaris
