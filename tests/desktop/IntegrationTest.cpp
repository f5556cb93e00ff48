#include "desktop/Integration.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/ShortcutsDialog.h"
#include "forms/ShortcutsForm.h"
#include "tests/support/TestSupport.h"

namespace {

using desktop::Environment;
using desktop::Hook;
using desktop::Integration;
using forms::Language;
namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A private XDG tree: the user's data and configuration folders and a system data folder whose
// MIME globs know .jpg, .jpeg and .png.
class DesktopTest : public ::testing::Test {
protected:
  DesktopTest() {
    env.dataHome = (dir / "data").string();
    env.configHome = (dir / "config").string();
    env.dataDirs = {(dir / "system").string()};
    env.refreshCaches = false;
    Write(dir / "system/mime/globs2",
          "# comment\n50:image/jpeg:*.jpg\n50:image/jpeg:*.jpeg\n50:image/png:*.png\n10:text/x-c:*.C:cs\n");
  }
  Integration Program(const std::string& path = "/usr/bin/vexilo") { return Integration(path, env); }

  testsupport::TempDir dir;
  Environment env;
};

TEST(ExtensionList, Cleaning) {
  struct Case {
    const char* text;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"jpg, .png,,tif?,a.b", {".jpg", ".png"}},
      {"jpg,bmp,png", {".jpg", ".bmp", ".png"}},
      {"", {}},
      {" . , .,x y,a/b,.a<b,.a\"b", {}},
      {" .tar.gz ,..x", {".tar.gz", "..x"}},
      // A line break or list separator would end the line or the list of the files written.
      {"a\nExec=x,b;c,ok", {".ok"}},
  };
  for (const Case& c : cases) EXPECT_EQ(desktop::CleanExtensionList(c.text), c.expected) << c.text;
}

// Every hook with a status: registered it is active, for another program path it is not, and
// removed its files are gone.
TEST_F(DesktopTest, RegisterStatusRemoveEveryHook) {
  Integration program = Program();
  Integration copy = Program("/opt/vexilo/vexilo");
  for (Hook hook : {Hook::ConfigurationFiles, Hook::SendTo, Hook::Folders, Hook::AllFiles}) {
    SCOPED_TRACE(static_cast<int>(hook));
    EXPECT_FALSE(program.Active(hook));
    ASSERT_TRUE(program.Register(hook, Language::English));
    EXPECT_TRUE(program.Active(hook));
    EXPECT_FALSE(copy.Active(hook));
    // Registered by the copy: the copy's hook, not this program's.
    ASSERT_TRUE(copy.Register(hook, Language::German));
    EXPECT_FALSE(program.Active(hook));
    EXPECT_TRUE(copy.Active(hook));
    program.Register(hook, Language::German);
    program.Remove(hook);
    EXPECT_FALSE(program.Active(hook));
    program.Remove(hook);  // nothing there: nothing happens
  }
  // Only the folders themselves and the lists other programs share are left.
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path() / "data"))
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  EXPECT_EQ(Read(dir / "config/Thunar/uca.xml").find("vexilo"), std::string::npos);
  EXPECT_EQ(Read(dir / "config/mimeapps.list").find("vexilo"), std::string::npos);
}

TEST_F(DesktopTest, FilesWritten) {
  Integration program = Program();
  for (Hook hook : {Hook::ConfigurationFiles, Hook::SendTo, Hook::Folders, Hook::AllFiles})
    ASSERT_TRUE(program.Register(hook, Language::English));

  const std::string package = Read(program.MimePackagePath());
  EXPECT_NE(package.find("type=\"application/x-vexilo-configuration\""), std::string::npos);
  EXPECT_NE(package.find("<comment>Corvana Vexilo Configuration</comment>"), std::string::npos);
  EXPECT_NE(package.find("<glob pattern=\"*.vxc\"/>"), std::string::npos);
  const std::string entry = Read(program.ConfigurationEntryPath());
  // One start takes a whole selection.
  EXPECT_NE(entry.find("\nExec=\"/usr/bin/vexilo\" %F\n"), std::string::npos);
  // Written in every language, read in the reader's.
  EXPECT_NE(entry.find("\nName=Corvana Vexilo Configuration\nName[de]=Corvana Vexilo Konfiguration\n"),
            std::string::npos);
  EXPECT_NE(package.find("<comment xml:lang=\"de\">Corvana Vexilo Konfiguration</comment>"), std::string::npos);
  EXPECT_NE(entry.find("\nMimeType=application/x-vexilo-configuration;\n"), std::string::npos);
  EXPECT_NE(Read(program.MimeAppsListPath())
                .find("[Default Applications]\napplication/x-vexilo-configuration=vexilo-configuration.desktop;"),
            std::string::npos);

  const std::string openWith = Read(program.OpenWithEntryPath());
  EXPECT_NE(openWith.find("image/jpeg;"), std::string::npos);
  EXPECT_NE(openWith.find("image/x-tga;"), std::string::npos);
  for (const char* type : {"image/webp;", "image/avif;", "image/heif;", "image/heic;", "image/jxl;"})
    EXPECT_NE(openWith.find(type), std::string::npos) << type;
  EXPECT_NE(Read(program.NautilusScriptPath()).find("\nexec \"/usr/bin/vexilo\" \"$@\"\n"), std::string::npos);
  EXPECT_TRUE((fs::status(program.NautilusScriptPath()).permissions() & fs::perms::owner_exec) != fs::perms::none);

  if (testsupport::HaveTool("desktop-file-validate")) {
    for (const std::string& path : {program.ConfigurationEntryPath(), program.OpenWithEntryPath()}) {
      std::string out;
      EXPECT_EQ(testsupport::RunCommand("desktop-file-validate '" + path + "' 2>&1", &out), 0) << out;
      EXPECT_EQ(out, "") << path;
    }
  }

  const std::string dolphin = Read(program.DolphinPath("folders"));
  EXPECT_NE(dolphin.find("MimeType=inode/directory;"), std::string::npos);
  EXPECT_NE(dolphin.find("Name=Open with Corvana Vexilo\nName[de]=Öffnen mit Corvana Vexilo\n"), std::string::npos);
  EXPECT_TRUE((fs::status(program.DolphinPath("folders")).permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_NE(Read(program.DolphinPath("all-files")).find("MimeType=application/octet-stream;"), std::string::npos);
  EXPECT_NE(Read(program.NemoPath("folders")).find("Extensions=dir;"), std::string::npos);
  EXPECT_NE(Read(program.NemoPath("all-files")).find("Extensions=nodirs;"), std::string::npos);
  const std::string thunar = Read(program.ThunarActionsPath());
  EXPECT_NE(thunar.find("<unique-id>vexilo-folders</unique-id>"), std::string::npos);
  EXPECT_NE(thunar.find("<command>\"/usr/bin/vexilo\" %F</command>"), std::string::npos);
  EXPECT_NE(thunar.find("<directories/>"), std::string::npos);
}

// The type name of either language counts, as the language may change after registering.
TEST_F(DesktopTest, ConfigurationTypeNameOfEitherLanguage) {
  Integration program = Program();
  for (Language language : {Language::English, Language::German}) {
    ASSERT_TRUE(program.Register(Hook::ConfigurationFiles, language));
    EXPECT_NE(Read(program.MimePackagePath()).find(desktop::ConfigurationTypeName(language)), std::string::npos);
    EXPECT_TRUE(program.Active(Hook::ConfigurationFiles));
  }
  // Another default for the type: not active, and removing leaves that program's default.
  Write(program.MimeAppsListPath(), "[Default Applications]\napplication/x-vexilo-configuration=editor.desktop;\n");
  EXPECT_FALSE(program.Active(Hook::ConfigurationFiles));
  program.Remove(Hook::ConfigurationFiles);
  EXPECT_EQ(Read(program.MimeAppsListPath()),
            "[Default Applications]\napplication/x-vexilo-configuration=editor.desktop;\n");
}

TEST_F(DesktopTest, MimeAppsListKeepsTheUsersLines) {
  Integration program = Program();
  const std::string before =
      "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\nimage/png=gimp.desktop;\n"
      "application/x-vexilo-configuration=editor.desktop;\n";
  Write(program.MimeAppsListPath(), before);
  ASSERT_TRUE(program.Register(Hook::ConfigurationFiles, Language::English));
  const std::string registered = Read(program.MimeAppsListPath());
  EXPECT_NE(registered.find("text/plain=gedit.desktop;"), std::string::npos);
  EXPECT_NE(registered.find("image/png=gimp.desktop;"), std::string::npos);
  EXPECT_NE(registered.find("application/x-vexilo-configuration=vexilo-configuration.desktop;editor.desktop;"),
            std::string::npos);
  EXPECT_TRUE(program.Active(Hook::ConfigurationFiles));
  program.Remove(Hook::ConfigurationFiles);
  EXPECT_EQ(Read(program.MimeAppsListPath()), before);
}

// The user's mimeapps.list and uca.xml may be links into a folder of dotfiles: they are
// edited through the link, which stays, and keep their permission bits.
TEST_F(DesktopTest, LinkedListsAreEditedThroughTheLinkAndKeepTheirBits) {
  Integration program = Program();
  for (const std::string& path : {program.MimeAppsListPath(), program.ThunarActionsPath()}) {
    const fs::path target = dir / "dotfiles" / fs::path(path).filename();
    Write(target, fs::path(path).extension() == ".xml" ? "<actions/>\n" : "[Default Applications]\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(fs::path(path).parent_path());
    fs::create_symlink(target, path);
  }
  ASSERT_TRUE(program.Register(Hook::ConfigurationFiles, Language::English));
  ASSERT_TRUE(program.Register(Hook::Folders, Language::English));
  for (const std::string& path : {program.MimeAppsListPath(), program.ThunarActionsPath()}) {
    EXPECT_TRUE(fs::is_symlink(path)) << path;
    EXPECT_NE(Read(path).find("vexilo"), std::string::npos) << path;
    EXPECT_EQ(testsupport::PermissionsOf(path), 0600u) << path;
  }
  program.Remove(Hook::ConfigurationFiles);
  program.Remove(Hook::Folders);
  for (const std::string& path : {program.MimeAppsListPath(), program.ThunarActionsPath()}) {
    EXPECT_TRUE(fs::is_symlink(path)) << path;
    EXPECT_EQ(Read(path).find("vexilo"), std::string::npos) << path;
    EXPECT_EQ(testsupport::PermissionsOf(path), 0600u) << path;
  }
}

// A named pipe where the user's lists belong is neither read (it would hold the program) nor
// replaced; the hooks that need the lists fail.
TEST_F(DesktopTest, NamedPipesForTheListsAreLeftAlone) {
  Integration program = Program();
  for (const std::string& path : {program.MimeAppsListPath(), program.ThunarActionsPath()}) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  }
  EXPECT_FALSE(program.Register(Hook::ConfigurationFiles, Language::English));
  EXPECT_FALSE(program.Register(Hook::Folders, Language::English));
  EXPECT_FALSE(program.Active(Hook::Folders));
  for (const std::string& path : {program.MimeAppsListPath(), program.ThunarActionsPath()})
    EXPECT_EQ(fs::status(path).type(), fs::file_type::fifo) << path;
}

TEST_F(DesktopTest, ThunarKeepsTheUsersActions) {
  Integration program = Program();
  const std::string users =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n\t<unique-id>1500000000000000-1</unique-id>\n"
      "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
      "\t<description>Example &amp; more</description>\n\t<patterns>*</patterns>\n\t<directories/>\n</action>\n"
      "</actions>\n";
  Write(program.ThunarActionsPath(), users);
  ASSERT_TRUE(program.Register(Hook::Folders, Language::German));
  ASSERT_TRUE(program.Register(Hook::AllFiles, Language::German));
  ASSERT_TRUE(program.Register(Hook::ChosenExtensions, Language::German, "jpg"));
  std::string both = Read(program.ThunarActionsPath());
  EXPECT_NE(both.find("Open Terminal Here"), std::string::npos);
  EXPECT_NE(both.find("Example &amp; more"), std::string::npos);
  EXPECT_NE(both.find("<name>Open with Corvana Vexilo</name>"), std::string::npos);
  EXPECT_NE(both.find("<name xml:lang=\"de\">Öffnen mit Corvana Vexilo</name>"), std::string::npos);
  program.Remove(Hook::Folders);
  program.Remove(Hook::AllFiles);
  program.Remove(Hook::ChosenExtensions, "jpg");
  const std::string after = Read(program.ThunarActionsPath());
  EXPECT_NE(after.find("exo-open --working-directory %f --launch TerminalEmulator"), std::string::npos);
  EXPECT_NE(after.find("<unique-id>1500000000000000-1</unique-id>"), std::string::npos);
  EXPECT_EQ(after.find("vexilo"), std::string::npos);

  // A list that cannot be read is left as it is, and the hook is not active.
  Write(program.ThunarActionsPath(), "<actions><action>");
  EXPECT_FALSE(program.Register(Hook::Folders, Language::English));
  EXPECT_EQ(Read(program.ThunarActionsPath()), "<actions><action>");
  EXPECT_FALSE(program.Active(Hook::Folders));
}

TEST_F(DesktopTest, ChosenExtensions) {
  Integration program = Program();
  ASSERT_TRUE(program.Register(Hook::ChosenExtensions, Language::English, "jpg, .png,,tif?,a.b,JPEG,xyz"));
  EXPECT_FALSE(program.Active(Hook::ChosenExtensions));  // this hook has no status
  // Dolphin by the type the globs give (.jpg and .jpeg share one), Nemo and Thunar by extension.
  EXPECT_NE(Read(program.DolphinPath("type-image-jpeg")).find("MimeType=image/jpeg;"), std::string::npos);
  EXPECT_NE(Read(program.DolphinPath("type-image-png")).find("MimeType=image/png;"), std::string::npos);
  EXPECT_NE(Read(program.NemoPath("extension-jpeg")).find("Extensions=jpeg;"), std::string::npos);
  EXPECT_TRUE(fs::exists(program.NemoPath("extension-xyz")));
  const std::string thunar = Read(program.ThunarActionsPath());
  EXPECT_NE(thunar.find("<patterns>*.png;*.PNG</patterns>"), std::string::npos);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir / "data/kio/servicemenus")) names.push_back(entry.path().filename());
  for (const auto& entry : fs::directory_iterator(dir / "data/nemo/actions")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"vexilo-extension-jpeg.nemo_action", "vexilo-extension-jpg.nemo_action",
                                             "vexilo-extension-png.nemo_action", "vexilo-extension-xyz.nemo_action",
                                             "vexilo-type-image-jpeg.desktop", "vexilo-type-image-png.desktop"}));

  program.Remove(Hook::ChosenExtensions, "png");
  EXPECT_FALSE(fs::exists(program.DolphinPath("type-image-png")));
  EXPECT_FALSE(fs::exists(program.NemoPath("extension-png")));
  EXPECT_TRUE(fs::exists(program.NemoPath("extension-jpg")));
  EXPECT_EQ(Read(program.ThunarActionsPath()).find("*.png"), std::string::npos);
  EXPECT_NE(Read(program.ThunarActionsPath()).find("*.jpg"), std::string::npos);
  EXPECT_EQ(program.MimeTypeOfExtension(".C"), "text/x-c");
  EXPECT_EQ(program.MimeTypeOfExtension(".c"), "");
}

// A program path with characters the shell and the desktop entries treat specially: the
// Nautilus script starts exactly that program with the selected paths.
TEST_F(DesktopTest, OddProgramPath) {
  const fs::path folder = dir / "odd \"$HOME\" `x` \\ 100%";
  const fs::path program = folder / "vexilo";
  Write(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"\n");
  fs::permissions(program, fs::perms::owner_all);
  Integration odd = Program(program.string());
  for (Hook hook : {Hook::ConfigurationFiles, Hook::SendTo, Hook::Folders, Hook::AllFiles}) {
    ASSERT_TRUE(odd.Register(hook, Language::English));
    EXPECT_TRUE(odd.Active(hook));
  }
  EXPECT_NE(Read(odd.ConfigurationEntryPath()).find("Exec=\"" + dir.Path().string() +
                                                    "/odd \\\\\"\\\\$HOME\\\\\" \\\\`x\\\\` \\\\\\\\ 100%%/vexilo\" %F"),
            std::string::npos);
  // Every command line doubles the "%", so that "100%/" never reads as a placeholder.
  EXPECT_NE(Read(odd.NemoPath("folders")).find(" 100%%/vexilo\" %F\n"), std::string::npos);
  EXPECT_NE(Read(odd.ThunarActionsPath()).find(" 100%%/vexilo\" %F</command>"), std::string::npos);
  EXPECT_NE(Read(odd.DolphinPath("folders")).find(" 100%%/vexilo\" %F\n"), std::string::npos);
  ASSERT_EQ(testsupport::RunCommand("sh '" + odd.NautilusScriptPath() + "' 'a b.jpg' '/c/$d.png'"), 0);
  EXPECT_EQ(Read(folder / "args"), "a b.jpg\n/c/$d.png\n");
  // A path that cannot be written on one line is not registered.
  EXPECT_FALSE(Program("/opt/a\nb/vexilo").Register(Hook::Folders, Language::English));
  EXPECT_FALSE(Program("").Register(Hook::SendTo, Language::English));
}

// The refreshed MIME database knows the package: its glob and magic.
TEST_F(DesktopTest, MimeDatabaseRefreshed) {
  if (!testsupport::HaveTool("update-mime-database")) GTEST_SKIP() << "update-mime-database not installed";
  env.refreshCaches = true;
  Integration program = Program();
  ASSERT_TRUE(program.Register(Hook::ConfigurationFiles, Language::German));
  EXPECT_NE(Read(dir / "data/mime/globs2").find("application/x-vexilo-configuration:*.vxc"), std::string::npos);
  EXPECT_NE(Read(dir / "data/mime/magic").find("application/x-vexilo-configuration"), std::string::npos);
  program.Remove(Hook::ConfigurationFiles);
  EXPECT_EQ(Read(dir / "data/mime/globs2").find("vexilo"), std::string::npos);
}

TEST_F(DesktopTest, DialogModel) {
  forms::Form form = forms::CreateShortcutsForm();
  Integration program = Program();
  desktop::ShortcutsDialog dialog(form, program);
  dialog.Show();
  for (const char* label : {"ver_konfig", "ver_sendenan", "ver_ordner", "ver_alledateien"})
    EXPECT_EQ(form.Get(label).caption, "Nicht aktiv");
  EXPECT_FALSE(form.Visible("AlsAdminStarten"));
  EXPECT_FALSE(form.Visible("Label6"));
  EXPECT_NE(form.Get("Label9").caption.find("Administratorrechte"), std::string::npos);

  const struct {
    const char* on;
    const char* off;
    const char* label;
    Hook hook;
  } groups[] = {{"KonfigAn", "KonfigAus", "ver_konfig", Hook::ConfigurationFiles},
                {"SendenAnAn", "SendenAnAus", "ver_sendenan", Hook::SendTo},
                {"OrdnerAn", "OrdnerAus", "ver_ordner", Hook::Folders},
                {"AlleDateienAn", "AlleDateienAus", "ver_alledateien", Hook::AllFiles}};
  for (const auto& group : groups) {
    form.Click(group.on);
    EXPECT_EQ(form.Get(group.label).caption, "Aktiv") << group.on;
    EXPECT_TRUE(dialog.StatusActive(group.hook));
  }
  // Registered in German, read in English: still active.
  dialog.ApplyLanguage(Language::English);
  EXPECT_EQ(form.Get("ver_konfig").caption, "Activated");
  EXPECT_NE(form.Get("Label9").caption.find("administrator"), std::string::npos);
  form.Click("KonfigAus");
  EXPECT_EQ(form.Get("ver_konfig").caption, "Not activated");
  EXPECT_FALSE(dialog.StatusActive(Hook::ConfigurationFiles));
  EXPECT_EQ(form.Get("ver_ordner").caption, "Activated");

  form.SetText("beldateien", "png, tif?");
  form.Click("BeliebigeDateienAn");
  EXPECT_TRUE(fs::exists(program.NemoPath("extension-png")));
  EXPECT_FALSE(fs::exists(program.NemoPath("extension-tif?")));
  form.Click("BeliebigeDateienAus");
  EXPECT_FALSE(fs::exists(program.NemoPath("extension-png")));
}

}  // namespace
