#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PeBytes.h"
#include "link/Manifest.h"
#include "link/PeImage.h"

namespace velmaris {
namespace {

using fakes::PeBytes;
using fakes::PeSpec;
using ::testing::ElementsAre;

PeImage Read(const std::vector<uint8_t>& bytes) { return ReadPeImage(bytes.data(), bytes.size()); }

void Patch32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

const char* const kCrtManifest =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n"
    "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\n"
    "  <assemblyIdentity name='Own.Component' version='1.0.0.0' type='win32'/>\n"
    "  <!-- <dependency><dependentAssembly><assemblyIdentity name='Commented'/> -->\n"
    "  <dependency>\n"
    "    <dependentAssembly>\n"
    "      <assemblyIdentity type=\"win32\" name=\"Microsoft.VC80.CRT\" version=\"8.0.50727.762\"\n"
    "        processorArchitecture=\"x86\" "
    "publicKeyToken=\"1fc8b3b9a1e18e3b\"></assemblyIdentity>\n"
    "    </dependentAssembly>\n"
    "  </dependency>\n"
    "</assembly>\n";

TEST(PeImageTest, ReadsHeadersImportsExportsAndManifestOfBothWidths) {
  for (uint16_t machine : {kMachineI386, kMachineAmd64}) {
    SCOPED_TRACE(machine);
    PeSpec spec{machine};
    spec.imports = {{"KERNEL32.dll", {"LoadLibraryW", "#12"}}, {"MSVCR80.dll", {"malloc"}}};
    spec.exports = {"DllGetClassObject", "#", "", "Forwarded>NTDLL.RtlFree", "DllCanUnloadNow"};
    spec.manifest = kCrtManifest;
    const PeImage image = Read(PeBytes(spec));
    ASSERT_EQ(image.problem, PeProblem::None);
    EXPECT_EQ(image.machine, machine);
    EXPECT_TRUE(image.dll);
    ASSERT_EQ(image.imports.size(), 2u);
    EXPECT_EQ(image.imports[0].name, "KERNEL32.dll");
    ASSERT_EQ(image.imports[0].functions.size(), 2u);
    EXPECT_EQ(image.imports[0].functions[0].name, "LoadLibraryW");
    EXPECT_EQ(image.imports[0].functions[1].name, "");
    EXPECT_EQ(image.imports[0].functions[1].ordinal, 12);
    EXPECT_EQ(image.imports[1].functions[0].name, "malloc");
    EXPECT_THAT(image.exportNames,
                ElementsAre("DllCanUnloadNow", "DllGetClassObject", "Forwarded"));
    EXPECT_TRUE(image.Exports({"Forwarded", 0}));
    EXPECT_TRUE(image.Exports({"DllCanUnloadNow", 0}));
    EXPECT_FALSE(image.Exports({"dllgetclassobject", 0}));  // names are exact
    EXPECT_TRUE(image.Exports({"", 2}));
    EXPECT_FALSE(image.Exports({"", 3}));  // a gap
    EXPECT_TRUE(image.Exports({"", 5}));
    EXPECT_FALSE(image.Exports({"", 0}));
    EXPECT_FALSE(image.Exports({"", 6}));
    ASSERT_EQ(image.assemblies.size(), 1u);
    EXPECT_EQ(image.assemblies[0].name, "Microsoft.VC80.CRT");
    EXPECT_EQ(image.assemblies[0].version, "8.0.50727.762");
    EXPECT_EQ(image.assemblies[0].processorArchitecture, "x86");
    EXPECT_EQ(image.assemblies[0].publicKeyToken, "1fc8b3b9a1e18e3b");
    EXPECT_EQ(image.assemblies[0].type, "win32");
  }
}

TEST(PeImageTest, TakesAProgramsManifestFromItsOwnResourceId) {
  PeSpec program{kMachineI386, false};
  program.manifest = kCrtManifest;
  const PeImage image = Read(PeBytes(program));
  EXPECT_FALSE(image.dll);
  EXPECT_EQ(image.assemblies.size(), 1u);
}

TEST(PeImageTest, TellsWhatIsNoModuleFromADamagedOne) {
  EXPECT_EQ(Read({}).problem, PeProblem::NotPe);
  EXPECT_EQ(Read(std::vector<uint8_t>(200, 'x')).problem, PeProblem::NotPe);
  std::vector<uint8_t> bytes = PeBytes({});
  Patch32(bytes, 0x40, 0x4551);  // no PE signature
  EXPECT_EQ(Read(bytes).problem, PeProblem::NotPe);
  Patch32(bytes, 0x3C, 0xFFFFFFF0);  // e_lfanew far past the end
  EXPECT_EQ(Read(bytes).problem, PeProblem::NotPe);

  // A 64-bit machine with a 32-bit optional header: damaged, with the machine still known.
  bytes = PeBytes({});
  bytes[0x44] = 0x64;
  bytes[0x45] = 0x86;
  EXPECT_EQ(Read(bytes).problem, PeProblem::Damaged);
  EXPECT_EQ(Read(bytes).machine, kMachineAmd64);
}

TEST(PeImageTest, EveryCutOfAModuleIsDamagedOrNoModule) {
  PeSpec spec;
  spec.imports = {{"A.dll", {"F", "#3"}}};
  spec.exports = {"G"};
  const std::vector<uint8_t> bytes = PeBytes(spec);
  for (size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_NE(ReadPeImage(bytes.data(), size).problem, PeProblem::None) << size;
  }
}

TEST(PeImageTest, OffsetsAndCountsOutsideTheFileMakeItDamaged) {
  PeSpec spec;
  spec.imports = {{"A.dll", {"F"}}};
  spec.exports = {"G"};
  const std::vector<uint8_t> good = PeBytes(spec);
  ASSERT_EQ(Read(good).problem, PeProblem::None);
  const size_t directories = 0x58 + 96;
  const size_t section = 0x200;  // the one section's data; the import descriptors come first
  const struct {
    size_t at;
    uint32_t value;
  } damages[] = {
      {section + 12, 0x7FFFFFF0},           // the DLL's name
      {section, 0xFFFFFFFC},                // its lookup table
      {directories + 8, 0x1000 + 0xFFFF0},  // the import directory itself
      {0x46, 97},                           // more sections than the loader maps
      {0x54, 8},                            // an optional header too short for its fields
  };
  for (const auto& damage : damages) {
    std::vector<uint8_t> bytes = good;
    Patch32(bytes, damage.at, damage.value);
    if (damage.at == 0x46 || damage.at == 0x54) {  // 16-bit fields: keep the next one
      bytes[damage.at + 2] = good[damage.at + 2];
      bytes[damage.at + 3] = good[damage.at + 3];
    }
    EXPECT_EQ(Read(bytes).problem, PeProblem::Damaged) << damage.at;
  }
  // An export table claiming more functions than ordinals exist.
  std::vector<uint8_t> bytes = good;
  const uint32_t exports = bytes[directories] | bytes[directories + 1] << 8;
  Patch32(bytes, section + (exports - 0x1000) + 20, 0x10001);
  EXPECT_EQ(Read(bytes).problem, PeProblem::Damaged);
}

TEST(ManifestTest, ReadsDependenciesAsWindowsWritesThem) {
  // UTF-16 with its mark, namespace prefixes, a '>' inside a value.
  const std::string text =
      "<asmv1:assembly><asmv1:dependency><asmv1:dependentAssembly>"
      "<asmv1:assemblyIdentity name='A>B' version='1.0'/></asmv1:dependentAssembly>"
      "<dependentAssembly><assemblyIdentity name='Second'/><assemblyIdentity name='Ignored'/>"
      "</dependentAssembly></asmv1:dependency>"
      "<dependentAssembly><assemblyIdentity name='OutsideADependency'/></dependentAssembly>";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) utf16 += {c, '\0'};
  for (const std::string& manifest : {text, utf16, "\xEF\xBB\xBF" + text}) {
    const std::vector<AssemblyIdentity> assemblies = DependentAssemblies(manifest);
    ASSERT_EQ(assemblies.size(), 2u);
    EXPECT_EQ(assemblies[0].name, "A>B");
    EXPECT_EQ(assemblies[0].version, "1.0");
    EXPECT_EQ(assemblies[1].name, "Second");
  }
  EXPECT_TRUE(
      DependentAssemblies("<dependency><dependentAssembly><assemblyIdentity name='x").empty());
}

}  // namespace
}  // namespace velmaris
