// The desktop game's registry: the store file, a Wine prefix behind it, and
// the dialog's bounded read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "converter/app/conv_velmi_dlg.h"
#include "converter/app/registry_helpers.h"
#include "converter/conv_file_make.h"
#include "tests/dialog/dialog_fixture.h"
#include "velmi_mfc.h"
#include "velmi_platform.h"
#include "velmi_registry_source.h"
#include "velmi_wine.h"

namespace {

namespace fs = std::filesystem;

// A prefix as Wine leaves it: escaped UTF-16 text, a drive link, keys of
// both files.
class WinePrefix {
 public:
  explicit WinePrefix(const std::string& root) : m_dir(root + "/wine") {
    fs::create_directories(m_dir + "/dosdevices");
    fs::create_directories(m_dir + "/drive_c/Games/QR2");
    std::ofstream(m_dir + "/drive_c/Games/QR2/QR2.exe") << "marker";
    fs::create_symlink("../drive_c", m_dir + "/dosdevices/c:");
    std::ofstream user(m_dir + "/user.reg", std::ios::binary);
    user << "WINE REGISTRY Version 2\n"
            ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
            "#arch=win32\n\n"
            "[Software\\\\TORVAL\\\\QR2] 1700000000\n"
            "#time=1da0000000000000\n"
            "\"DataDir\"=\"C:\\\\Games\\\\QR2\\\\\"\n"
            "\"Title\"=\"\\x30af\\x30a4\\x30fc\\x30f3 \\\"Q\\\"\"\n"
            "\"Count\"=dword:0000002a\n"
            "\"Long\"=hex(2):43,00,3a,00,5c,00,\\\n"
            "  41,00,00,00\n"
            "\n"
            "[Software\\\\MarineCat\\\\GOGO_DLL] 1700000000\n"
            "\"INSTPATH\"=\"D:\\\\tools\\\\gogo.dll\"\n";
    std::ofstream system(m_dir + "/system.reg", std::ios::binary);
    system << "WINE REGISTRY Version 2\n\n"
              "[Software\\\\Portable Codecs\\\\CodecSuite\\\\JpegLib] 1700000000\n"
              "\"USECPU\"=dword:00000003\n";
    setenv("WINEPREFIX", m_dir.c_str(), 1);
  }
  const std::string& Dir() const { return m_dir; }

 private:
  std::string m_dir;
};

std::string Query(HKEY root, const char* key, const char* name, DWORD* type = nullptr) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return "<no key>";
  BYTE data[512] = {};
  DWORD size = sizeof data, t = 0;
  LONG r = RegQueryValueExA(k, name, nullptr, &t, data, &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return "<no value>";
  if (type) *type = t;
  return std::string(reinterpret_cast<char*>(data), size);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { VelmiUseWineRegistry(); }
  void TearDown() override { VelmiSetRegistrySource(nullptr); }
  dtest::Sandbox box;
};

TEST_F(RegistryTest, ReadsAWinePrefixBehindTheStore) {
  WinePrefix wine(box.Root());
  const std::string driveC = dtest::LayerPath(fs::canonical(wine.Dir() + "/drive_c").string());
  DWORD type = 0;
  // Strings come as code page 932, terminated; C: maps through dosdevices.
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "DataDir", &type), driveC + "\\Games\\QR2\\" + '\0');
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "software\\torval\\qr2", "title"),
            std::string("\x83N\x83"
                        "C\x81[\x83\x93 \"Q\"") +
                '\0');  // クイーン "Q"
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "Count", &type), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "Long", &type), driveC + "\\A" + '\0');
  EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
  // A drive without a link stays as it was.
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", "INSTPATH"),
            std::string("D:\\tools\\gogo.dll") + '\0');
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Portable Codecs\\CodecSuite\\JpegLib", "USECPU"),
            std::string("\3\0\0\0", 4));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL", "DataDir"), "<no value>");  // a parent key exists
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR3", "DataDir"), "<no key>");
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\TORVAL\\QR2", "DataDir"), "<no key>");

  // The store wins over the prefix; the prefix fills what the store lacks.
  box.SetDataDir("\\from\\store\\");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "DataDir"), std::string("\\from\\store\\") + '\0');
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "Count"), std::string("\x2a\0\0\0", 4));

  // Nothing in the prefix was written.
  EXPECT_FALSE(fs::exists(wine.Dir() + "/user.reg.tmp"));
}

TEST_F(RegistryTest, TheDialogProposesTheWineGameFolder) {
  WinePrefix wine(box.Root());
  velmi_mfc::UseHeadless(true);
  // Shown with '/' between folders.
  const std::string expected = fs::canonical(wine.Dir() + "/drive_c").string() + "/Games/QR2";
  velmi_mfc::SetHeadlessDriver([&](velmi_mfc::HeadlessDialog& d) {
    EXPECT_EQ(d.Text(IDC_SOURCE_EDIT), expected);
    // The folder passes the QR2.exe test: Start begins a run.
    d.Select(IDC_SCREEN, 0);
    d.Click(IDC_DO_PICTURES);
    d.Click(IDC_DO_MUSIC);
    d.Click(IDC_DO_VOICES);
    d.Click(IDC_START);
    EXPECT_FALSE(d.IsEnabled(IDC_START));
    EXPECT_TRUE(velmi_mfc::TakeMessageBoxLog().empty());
    // The run ends on its own; the next timer tick then gives Start back.
    CConvFileMake* job = static_cast<CConvVelmiDlg*>(d.Window())->m_job;
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(WaitForSingleObject(job->GetThreadHandle(), INFINITE), WAIT_OBJECT_0);
    d.Tick();
    EXPECT_TRUE(d.IsEnabled(IDC_START));
    EXPECT_EQ(static_cast<CConvVelmiDlg*>(d.Window())->m_job, nullptr);
  });
  CConvVelmiDlg dlg;
  dlg.DoModal();
}

TEST_F(RegistryTest, ValuesAreBoundedAndTerminated) {
  SetRegistryRoot("TORVAL");
  struct Case {
    size_t length;
    int result;
  } cases[] = {{0, 0}, {10, 1}, {1022, 1}, {1023, 0}, {1024, 0}, {3000, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    box.SetDataDir(std::string(c.length, 'a'));
    char buffer[1024];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[0] = 0;
    const int r = ReadRegistryValue("QR2", "DataDir", buffer, sizeof buffer);
    EXPECT_EQ(r, c.result);
    if (c.result) {
      EXPECT_EQ(std::string(buffer), std::string(c.length, 'a'));
    } else {
      EXPECT_EQ(buffer[0], 0);  // untouched (no key, or a value too long)
    }
  }
  // A missing value leaves the destination as it was and still counts.
  char buffer[16] = "kept";
  box.SetDataDir("x");
  EXPECT_EQ(ReadRegistryValue("QR2", "Other", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "kept");
  EXPECT_EQ(ReadRegistryValue("QR9", "DataDir", buffer, sizeof buffer), 0);
}

// A store that VELMI_REGISTRY names but that cannot be read holds no key,
// and the layer tells which file it was and why; a store read clears it.
TEST_F(RegistryTest, AnUnreadableStoreIsTold) {
  const std::string missing = box.Root() + "/no-such-store.txt";
  const struct {
    std::string store;
    const char* reason;  // null: the store was read
  } cases[] = {{missing, "not found"}, {box.Root(), "a folder, not a file"}, {box.Root() + "/registry.txt", nullptr}};
  box.SetDataDir("\\game\\");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.store);
    setenv("VELMI_REGISTRY", c.store.c_str(), 1);
    const std::string value = Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "DataDir");
    std::string file, reason;
    EXPECT_EQ(VelmiRegistryStoreUnread(&file, &reason), c.reason != nullptr);
    if (c.reason) {
      EXPECT_EQ(value, "<no key>");
      EXPECT_EQ(file, c.store);
      EXPECT_EQ(reason, c.reason);
    } else {
      EXPECT_EQ(value, std::string("\\game\\") + '\0');
    }
  }
  // No store named: nothing to tell.
  unsetenv("VELMI_REGISTRY");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\TORVAL\\QR2", "DataDir"), "<no key>");
  EXPECT_FALSE(VelmiRegistryStoreUnread(nullptr, nullptr));
}

}  // namespace
