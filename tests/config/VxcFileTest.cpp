// The .vxc document: quoting, case-insensitive names, encodings, in-place updates that keep what
// the program does not know, and the replacement of a file that never damages the old one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "config/VxcFile.h"

namespace {

using config::TextEncoding;
using config::VxcFile;

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Utf16(std::string_view ascii) {
  std::vector<uint8_t> out = {0xFF, 0xFE};
  for (char c : ascii) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

VxcFile RoundTrip(const VxcFile& file) { return VxcFile::Parse(file.Serialize()); }

TEST(VxcFile, TextsSurviveWritingAndReadingUnchanged) {
  const std::string longText(20000, 'x');
  struct Case {
    std::string text;
    std::string stored;  // the value as it stands in the file; empty: not checked
  };
  const std::vector<Case> cases = {
      {" leading blank", "\" leading blank\""},
      {"trailing blank ", "\"trailing blank \""},
      {"'x'", "''x''"},
      {"\"y\"", "\"\"y\"\""},
      {"''", "''''"},
      {"'", "'"},
      {"\"", "\""},
      {"'mixed\"", "'mixed\""},
      {"\" 'a' \"", "\"\" 'a' \"\""},
      {"\ttab", "\"\ttab\""},
      {"a=b=c", "a=b=c"},
      {"[PBED]", "[PBED]"},
      {"; not a comment", "; not a comment"},
      {"", ""},
      {"%name% (%höhe%) €𝄞", ""},
  };
  for (TextEncoding encoding : {TextEncoding::Utf16LE, TextEncoding::Utf8, TextEncoding::Utf16BE}) {
    VxcFile file(encoding);
    for (size_t i = 0; i < cases.size(); ++i) file.WriteString("PBCB", "k" + std::to_string(i), cases[i].text);
    const VxcFile back = RoundTrip(file);
    EXPECT_EQ(back.Encoding(), encoding);
    for (size_t i = 0; i < cases.size(); ++i)
      EXPECT_EQ(back.ReadString("PBCB", "k" + std::to_string(i)), cases[i].text) << "case " << i;
  }
  VxcFile eightBit(TextEncoding::Utf8);
  for (size_t i = 0; i < cases.size(); ++i) eightBit.WriteString("S", "k" + std::to_string(i), cases[i].text);
  const std::vector<uint8_t> bytes = eightBit.Serialize();
  const std::string text(bytes.begin(), bytes.end());
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].stored.empty()) continue;
    EXPECT_NE(text.find("\r\nk" + std::to_string(i) + "=" + cases[i].stored + "\r\n"), std::string::npos) << i;
  }

  // A value is read up to 16384 characters, counted as characters, not bytes.
  VxcFile big;
  big.WriteString("S", "long", longText);
  big.WriteString("S", "wide", std::string(16383, 'a') + "ääää");
  const VxcFile bigBack = RoundTrip(big);
  EXPECT_EQ(bigBack.ReadString("S", "long"), std::string(16384, 'x'));
  EXPECT_EQ(bigBack.ReadString("S", "wide"), std::string(16383, 'a') + "ä");
}

TEST(VxcFile, LineBreaksInATextCannotSplitTheLine) {
  VxcFile file;
  file.WriteString("PBCB", "out_name", "a\r\n[AS]\nN=0");
  file.WriteString("AS", "N", "1");
  const VxcFile back = RoundTrip(file);
  EXPECT_EQ(back.ReadString("PBCB", "out_name"), "a  [AS] N=0");
  EXPECT_EQ(back.ReadInteger("AS", "N"), 1);
  EXPECT_EQ(back.SectionNames(), (std::vector<std::string>{"PBCB", "AS"}));
}

TEST(VxcFile, NamesIgnoreCaseAndBlanksAroundKeysAndValuesDoNotCount) {
  const VxcFile file = VxcFile::Parse(Bytes(
      "; comment\r\n"
      "orphan=1\r\n"
      "  [ pbEd ]  \r\n"
      "  ED_FILESIZE  =  250  \r\n"
      "ed_filesize=999\r\n"
      "quoted = ' 12 '\r\n"
      "novalue\r\n"
      "[PBED]\n"
      "ed_faktor=3\n"
      "[OPSB]\r"
      "ScrollBar1=0x1F\r"
      "hex=$ff\r"
      "neg= -7\r"
      "bad=12abc\r"
      "empty=\r"));
  EXPECT_EQ(file.ReadString("PBED", "ed_filesize"), "250");  // the first line of a key counts
  EXPECT_EQ(file.ReadString("pbed", "Quoted"), " 12 ");
  EXPECT_EQ(file.ReadString("PBED", "novalue"), std::nullopt);
  EXPECT_EQ(file.ReadString("PBED", "ed_faktor"), std::nullopt);  // only the first section of a name
  EXPECT_EQ(file.ReadString("", "orphan"), std::nullopt);
  EXPECT_EQ(file.ReadInteger("OPSB", "ScrollBar1"), 31);
  EXPECT_EQ(file.ReadInteger("OPSB", "hex"), 255);
  EXPECT_EQ(file.ReadInteger("OPSB", "neg"), -7);
  EXPECT_EQ(file.ReadInteger("OPSB", "bad"), std::nullopt);
  EXPECT_EQ(file.ReadInteger("OPSB", "empty"), std::nullopt);
  EXPECT_EQ(file.ReadString("OPSB", "empty"), "");
  EXPECT_EQ(file.ReadInteger("OPSB", "missing"), std::nullopt);
}

TEST(VxcFile, UpdatingKeepsUnknownLinesByteForByteAndThePlaceOfPresentKeys) {
  const std::string original =
      "[Foo]\r\n"
      "  Unknown = ' kept '  \r\n"
      "; a comment\r\n"
      "[pbed]\r\n"
      "ED_FAKTOR = 2\r\n"
      "other=x\r\n"
      "\r\n"
      "[Bar]\n"
      "z=1";
  for (bool utf16 : {false, true}) {
    VxcFile file = VxcFile::Parse(utf16 ? Utf16(original) : Bytes(original));
    file.WriteString("PBED", "ed_faktor", "2");  // the same value: the line stays as it is
    file.WriteString("PBED", "ed_filesize", "100");
    file.WriteString("bar", "z", "5");
    file.WriteString("AS", "N", "1");
    const std::string expected =
        "[Foo]\r\n"
        "  Unknown = ' kept '  \r\n"
        "; a comment\r\n"
        "[pbed]\r\n"
        "ED_FAKTOR = 2\r\n"
        "other=x\r\n"
        "ed_filesize=100\r\n"
        "\r\n"
        "[Bar]\n"
        "z=5\r\n"
        "[AS]\r\n"
        "N=1\r\n";
    EXPECT_EQ(file.Serialize(), utf16 ? Utf16(expected) : Bytes(expected)) << (utf16 ? "UTF-16" : "8-bit");
  }
}

TEST(VxcFile, EightBitFilesKeepTheirEncoding) {
  // Valid UTF-8 stays UTF-8.
  VxcFile utf8 = VxcFile::Parse(Bytes("[PBCB]\r\nout_name=gr\xC3\xB6\xC3\x9F" "e\r\n"));
  EXPECT_EQ(utf8.Encoding(), TextEncoding::Utf8);
  EXPECT_EQ(utf8.ReadString("PBCB", "out_name"), "größe");
  utf8.WriteString("PBCB", "out_ordner", "\xE2\x82\xAC");
  EXPECT_EQ(utf8.Serialize(), Bytes("[PBCB]\r\nout_name=gr\xC3\xB6\xC3\x9F" "e\r\nout_ordner=\xE2\x82\xAC\r\n"));

  // Anything else is Latin-1; characters beyond it are written as "?".
  VxcFile latin1 = VxcFile::Parse(Bytes("[PBCB]\r\nout_name=h\xF6he\r\n"));
  EXPECT_EQ(latin1.Encoding(), TextEncoding::Latin1);
  EXPECT_EQ(latin1.ReadString("PBCB", "out_name"), "höhe");
  latin1.WriteString("PBCB", "out_name", "Größe €");
  EXPECT_EQ(latin1.Serialize(), Bytes("[PBCB]\r\nout_name=Gr\xF6\xDF" "e ?\r\n"));

  // A UTF-16 file with half a character at its end loses only that half.
  std::vector<uint8_t> odd = Utf16("[AS]\r\nN=1\r\n");
  odd.push_back('A');
  VxcFile oddFile = VxcFile::Parse(odd);
  EXPECT_EQ(oddFile.ReadInteger("AS", "N"), 1);
  EXPECT_EQ(oddFile.Serialize(), Utf16("[AS]\r\nN=1\r\n"));
}

// Restores the file-size limit of the process when a test ends.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

private:
  rlimit saved_{};
};

TEST(ReplaceFile, AFailedWriteLeavesTheOldFileByteForByte) {
  testsupport::TempDir dir;
  const std::string path = (dir / "keep.vxc").string();
  const std::vector<uint8_t> old = Utf16("[PBED]\r\ned_faktor=2\r\n");
  testsupport::WriteFileBytes(path, old);
  const std::vector<uint8_t> bigger(4096, 'x');
  {
    // The write stops short: the disk is full, a quota is reached.
    FileSizeLimit limit(100);
    try {
      config::ReplaceFile(path, bigger);
      FAIL() << "the write should have failed";
    } catch (const config::ConfigWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
      EXPECT_FALSE(e.Reason().empty());
    }
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  // No temporary file stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);

  // A path that is a folder, and a file in a folder that does not exist.
  EXPECT_THROW(config::ReplaceFile(dir.Path().string(), bigger), config::ConfigWriteError);
  EXPECT_THROW(config::ReplaceFile((dir / "missing/a.vxc").string(), bigger), config::ConfigWriteError);

  // A complete write replaces the file and keeps its permission bits.
  chmod(path.c_str(), 0640);
  config::ReplaceFile(path, bigger);
  EXPECT_EQ(testsupport::ReadFileBytes(path), bigger);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(ReplaceFile, ReadOnlyFilesAndFoldersAreLeftAlone) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
  testsupport::TempDir dir;
  const std::string path = (dir / "ro.vxc").string();
  const std::vector<uint8_t> old = Bytes("[AS]\r\nN=1\r\n");
  testsupport::WriteFileBytes(path, old);
  chmod(path.c_str(), 0444);
  EXPECT_THROW(config::ReplaceFile(path, Bytes("new")), config::ConfigWriteError);
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
  chmod(path.c_str(), 0644);
  chmod(dir.Path().c_str(), 0555);
  EXPECT_THROW(config::ReplaceFile(path, Bytes("new")), config::ConfigWriteError);
  chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(testsupport::ReadFileBytes(path), old);
}

TEST(ReplaceFile, ASymbolicLinkStaysAndItsFileIsReplaced) {
  testsupport::TempDir dir;
  const std::string target = (dir / "real.vxc").string();
  const std::string link = (dir / "link.vxc").string();
  testsupport::WriteFileBytes(target, Bytes("old"));
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  config::ReplaceFile(link, Bytes("new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testsupport::ReadFileBytes(target), Bytes("new"));
}

}  // namespace
