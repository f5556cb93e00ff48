// vexilo-cli convert over one list in several runs, as on many machines: lists of paths from a
// file or standard input, parts of a list (--shard), runs started again (--skip-existing), the
// JSON lines, and GNU parallel driving four parts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Cli() { return VEXILO_CLI_PATH; }

// Reads JSON-lines files (one per run) as a strict reader does and checks what every run of
// them must hold: the first line a start record and the last an end record, every string valid
// UTF-8 (no lone surrogate), a file record for each of the run's files and refusals, and end
// counts that are those of the records. Prints the list numbers of all runs' records in order,
// then every record's status and source (its exact bytes, from the Base64 field where there is
// one), one a line.
const char* const kJsonCheck = R"PY(
import base64, json, sys
def strings(value):
    if isinstance(value, str): yield value
    elif isinstance(value, dict):
        for key, item in value.items():
            yield key
            yield from strings(item)
numbers, lines = [], []
for name in sys.argv[1:]:
    text = open(name, 'rb').read().decode('utf-8')
    assert text.endswith('\n'), name + ': no whole last line'
    records = [json.loads(line) for line in text[:-1].split('\n')]
    for record in records:
        assert isinstance(record, dict)
        for s in strings(record): s.encode('utf-8')
    start, files, end = records[0], records[1:-1], records[-1]
    assert start['record'] == 'start' and end['record'] == 'end', name
    assert all(r['record'] == 'file' for r in files), name
    assert len(files) == start['files'] + start['refused'] - end['not_processed'], name
    for status in ('written', 'failed', 'kept', 'skipped'):
        assert end[status] == sum(r['status'] == status for r in files), (name, status)
    for r in files:
        for key in ('source', 'output', 'status', 'cause', 'width', 'height', 'bytes', 'ms'): assert key in r
        if r['number'] is not None: numbers.append(r['number'])
        source = base64.b64decode(r['source_base64']) if 'source_base64' in r else r['source'].encode()
        sized = r['width'] is not None and r['bytes'] > 0
        lines.append(r['status'] + (' sized' if sized else '') + ' ' + repr(source))
print(','.join(map(str, sorted(numbers))))
print('\n'.join(lines))
)PY";

class ManyRuns : public ::testing::Test {
protected:
  void SetUp() override {
    testsupport::WriteFileBytes(dir / "json-check.py", std::vector<uint8_t>(kJsonCheck, kJsonCheck + std::strlen(kJsonCheck)));
  }

  // Runs convert in the temporary folder: standard output into `out` (the JSON lines), standard
  // error into `err`. Standard input is `input` (a file of the folder) or /dev/null.
  int Convert(const std::string& arguments, std::string* out = nullptr, std::string* err = nullptr,
              const std::string& input = "/dev/null") {
    const std::string errors = (dir / "stderr.txt").string();
    std::string written;
    const int status = testsupport::RunCommand("cd '" + dir.Path().string() + "' && '" + Cli() + "' convert " + arguments +
                                                   " <'" + input + "' 2>'" + errors + "'",
                                               &written);
    if (out) *out = written;
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(errors);
    if (err) err->assign(bytes.begin(), bytes.end());
    return status;
  }

  void Picture(const std::string& name, int32_t w, int32_t h) {
    ASSERT_TRUE(testsupport::WriteNoisePicture(dir / name, w, h)) << name;
  }

  void Text(const std::string& name, const std::string& text) {
    fs::create_directories((dir / name).parent_path());
    testsupport::WriteFileBytes(dir / name, std::vector<uint8_t>(text.begin(), text.end()));
  }

  // Every file under the folder by its relative path, with its bytes.
  std::map<std::string, std::vector<uint8_t>> FilesUnder(const std::string& folder) const {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir / folder))
      if (entry.is_regular_file())
        files[fs::relative(entry.path(), dir / folder).string()] = testsupport::ReadFileBytes(entry.path());
    return files;
  }

  // What kJsonCheck prints for the JSON-lines files; "failed: ..." when a check fails.
  std::string CheckJson(const std::vector<std::string>& names) {
    std::string command = "cd '" + dir.Path().string() + "' && python3 json-check.py";
    for (const std::string& name : names) command += " '" + name + "'";
    std::string printed;
    if (testsupport::RunCommand(command + " 2>&1", &printed) != 0) return "failed: " + printed;
    return printed;
  }

  // Eleven pictures (so that %0num% has two digits) and one file the list refuses.
  void ElevenPicturesAndOneRefused() {
    for (int i = 0; i < 11; ++i) Picture("in/p" + std::to_string(i) + ".bmp", 9 + i, 7);
    Text("in/broken.png", "no picture");
  }

  testsupport::TempDir dir;
};

TEST_F(ManyRuns, PartsOfTheListTogetherWriteWhatOneRunWrites) {
  ElevenPicturesAndOneRefused();
  // Each source its own time, which --keep-dates must give its own output in every part.
  const auto now = std::filesystem::file_time_type::clock::now();
  for (int i = 0; i < 11; ++i)
    std::filesystem::last_write_time(dir / ("in/p" + std::to_string(i) + ".bmp"), now - std::chrono::hours(i + 1));
  const std::string settings = " --keep-dates --size 8x8 --name '%0num% of %abs% %name%' --format png in";
  std::string out, err;
  ASSERT_EQ(Convert("--folder whole" + settings, &out, &err), 1) << err;
  const auto whole = FilesUnder("whole");
  ASSERT_EQ(whole.size(), 11u);
  EXPECT_EQ(whole.count("01 of 11 p0.png"), 1u);
  EXPECT_EQ(whole.count("11 of 11 p9.png"), 1u);  // the folder's files by name: p0, p1, p10, p2 ...

  for (const int parts : {1, 3, 4}) {
    const std::string folder = "parts" + std::to_string(parts);
    std::vector<std::string> jsonFiles;
    int failedRuns = 0, reports = 0;
    for (int part = 1; part <= parts; ++part) {
      const std::string shard = std::to_string(part) + "/" + std::to_string(parts);
      const int status = Convert("--json --shard " + shard + " --folder " + folder + settings, &out, &err);
      ASSERT_TRUE(status == 0 || status == 1) << shard << "\n" << err;
      failedRuns += status;
      // The refused file is reported by one part only.
      reports += err.find("broken.png") != std::string::npos ? 1 : 0;
      jsonFiles.push_back(folder + "-" + std::to_string(part) + ".json");
      Text(jsonFiles.back(), out);
    }
    EXPECT_TRUE(FilesUnder(folder) == whole) << parts << " parts";
    for (const auto& entry : std::filesystem::directory_iterator(dir / folder)) {
      if (entry.path().extension() != ".png") continue;
      const std::string name = entry.path().filename().string();
      const auto source = dir / "in" / (name.substr(name.rfind(' ') + 1, name.size() - name.rfind(' ') - 5) + ".bmp");
      EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(entry.last_write_time() -
                                                                 std::filesystem::last_write_time(source))
                    .count(),
                0)
          << folder << "/" << name;
    }
    EXPECT_EQ(failedRuns, 1) << parts;
    EXPECT_EQ(reports, 1) << parts;
    // Every file of the list has one record among all parts, the refused one too.
    const std::string json = CheckJson(jsonFiles);
    EXPECT_EQ(json.substr(0, json.find('\n')), "1,2,3,4,5,6,7,8,9,10,11") << json;
  }
}

TEST_F(ManyRuns, ListsFromAFileOrStandardInputWithAnyNames) {
  const std::vector<std::string> names = {"in/a b.bmp", "in/new\nline.bmp", "in/plain.bmp", "in/tab\there.bmp"};
  for (const std::string& name : names) Picture(name, 10, 10);
  Picture("sub/c.bmp", 10, 10);
  std::string zeroList;
  for (const std::string& name : names) zeroList += (dir / name).string() + '\0';
  zeroList += "sub" + std::string(1, '\0');  // a folder, relative, is searched as an argument is
  Text("list0", zeroList);
  std::string out, err;
  ASSERT_EQ(Convert("--files-from list0 -0 --folder from-file --name '%num% %name%' --format png", &out, &err), 0) << err;
  ASSERT_EQ(Convert("--files-from - --null --folder from-input --name '%num% %name%' --format png", &out, &err,
                    (dir / "list0").string()),
            0)
      << err;
  const auto fromFile = FilesUnder("from-file");
  EXPECT_EQ(fromFile.count("2 new\nline.png"), 1u);
  EXPECT_EQ(fromFile.count("4 tab\there.png"), 1u);
  EXPECT_EQ(fromFile.count("5 c.png"), 1u);
  EXPECT_EQ(fromFile.size(), 5u);
  EXPECT_TRUE(FilesUnder("from-input") == fromFile);

  // One path a line: blank lines are passed over, the paths come after the arguments.
  Text("list-lines", "in/plain.bmp\n\n" + (dir / "in/a b.bmp").string() + "\n");
  ASSERT_EQ(Convert("--files-from list-lines --folder lines --name '%num% %name%' --format png sub", &out, &err), 0) << err;
  EXPECT_EQ(testsupport::NamesIn(dir / "lines"), (std::vector<std::string>{"1 c.png", "2 plain.png", "3 a b.png"}));

  const char* errors[] = {
      "--files-from missing.txt",
      "--files-from in",  // a folder is no list
      "--files-from list0 --files-from list-lines",
      "-0 in/plain.bmp",
      "--files-from /dev/null",  // an empty list
      "--files-from /dev/zero",  // one endless line
      "--shard 0/3 in",
      "--shard 4/3 in",
      "--shard 1/0 in",
      "--shard 1 in",
      "--shard -1/3 in",
      "--shard 1/3x in",
      "--skip-existing --yes-to-all in",
      "--skip-existing --no-to-all in",
      "--skip-existing --overwrite in",
  };
  for (const char* arguments : errors) {
    EXPECT_EQ(Convert(arguments, &out, &err), 2) << arguments << "\n" << err;
    EXPECT_NE(err.find("Try \"vexilo-cli convert --help\""), std::string::npos) << arguments << "\n" << err;
  }
  EXPECT_NE(Convert("--files-from missing.txt", &out, &err), 0);
  EXPECT_NE(err.find("missing.txt\": No such file or directory"), std::string::npos) << err;
}

TEST_F(ManyRuns, SkipExistingFinishesWhatARunLeftAndTouchesNothingElse) {
  for (const char* name : {"a", "b", "c"}) Picture(std::string("in/") + name + ".bmp", 12, 9);
  std::string out, err;
  ASSERT_EQ(Convert("--folder out --name '%name%' --format png in", &out, &err), 0) << err;
  // A run stopped after two files: the third output is missing, and a hidden temporary file
  // of an interrupted save is never taken for an output.
  fs::remove(dir / "out/c.png");
  Text("out/.c.png.vexilo-abcdefabcdef", "half");
  struct stat before {};
  ASSERT_EQ(::stat((dir / "out/a.png").c_str(), &before), 0);
  ASSERT_EQ(Convert("--skip-existing --folder out --name '%name%' --format png in", &out, &err), 0) << err;
  EXPECT_NE(err.find("1 written, 0 failed, 0 kept, 2 skipped"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists(dir / "out/c.png"));
  // Once more: nothing to do, nothing written.
  const auto done = FilesUnder("out");
  ASSERT_EQ(Convert("--skip-existing --folder out --name '%name%' --format png in", &out, &err), 0) << err;
  EXPECT_NE(err.find("0 written, 0 failed, 0 kept, 3 skipped"), std::string::npos) << err;
  EXPECT_TRUE(FilesUnder("out") == done);
  struct stat after {};
  ASSERT_EQ(::stat((dir / "out/a.png").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST_F(ManyRuns, JsonLinesAccountForEveryFile) {
  if (!testsupport::HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
  Picture("in/plain.bmp", 12, 8);
  Picture("in/quote\"and\nnewline.bmp", 12, 8);
  Picture("in/latin1-\xE9.bmp", 12, 8);  // not valid UTF-8
  Picture("in/kept.bmp", 12, 8);
  Text("in/broken.png", "no picture");
  Text("out/kept.png", "old");
  std::string out, err;
  EXPECT_EQ(Convert("--json --size 6x6 --folder out --name '%name%' --format png in missing.bmp", &out, &err), 1)
      << err;
  Text("run.json", out);
  const std::string in = (dir / "in").string();
  EXPECT_EQ(CheckJson({"run.json"}),
            "1,2,3,4\n"
            "failed b'" + in + "/broken.png'\n"
            "failed b'" + (dir / "missing.bmp").string() + "'\n"
            "kept b'" + in + "/kept.bmp'\n"
            "written sized b'" + in + "/latin1-\\xe9.bmp'\n"
            "written sized b'" + in + "/plain.bmp'\n"
            "written sized b'" + in + "/quote\"and\\nnewline.bmp'\n");
  // The messages stay on standard error, and the records say what the run did.
  EXPECT_NE(err.find("Format not supported"), std::string::npos) << err;
  EXPECT_EQ(out.find("{\"record\":\"start\",\"program\":\"vexilo-cli\""), 0u) << out;
  EXPECT_NE(out.find("\"source\":\"" + in + "/latin1-\xEF\xBF\xBD.bmp\",\"source_base64\":"), std::string::npos) << out;
  EXPECT_NE(out.find("\"status\":\"written\",\"key\":null,\"cause\":null,\"width\":6,\"height\":4,"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\"cause\":\"File not found\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"cause\":\"No image format recognises the file's content\""), std::string::npos) << out;
  EXPECT_NE(out.find("{\"record\":\"end\",\"written\":3,\"failed\":2,\"kept\":1,\"skipped\":0,\"not_processed\":0,"
                     "\"cancelled\":false,\"exit\":1}\n"),
            std::string::npos)
      << out;

  // A reader that has gone (a pipe whose reading end is closed) stops the run, which ends as
  // cancelled instead of being killed by SIGPIPE in the middle of a file.
  std::string status;
  testsupport::RunCommand("cd '" + dir.Path().string() + "' && mkfifo pipe && exec 4<>pipe 5>pipe 4<&- && '" + Cli() +
                              "' convert --json --folder gone in >&5 2>stderr.txt; echo \"exit=$?\"",
                          &status);
  EXPECT_EQ(status, "exit=3\n");
  EXPECT_FALSE(fs::exists(dir / "gone"));
  std::string text;
  testsupport::RunCommand("cat '" + (dir / "stderr.txt").string() + "'", &text);
  EXPECT_NE(text.find("the JSON lines cannot be written (Broken pipe)"), std::string::npos) << text;
}

TEST_F(ManyRuns, GnuParallelRunsFourParts) {
  if (!testsupport::HaveTool("parallel")) GTEST_SKIP() << "GNU parallel is not installed";
  ElevenPicturesAndOneRefused();
  std::string out, err;
  ASSERT_EQ(testsupport::RunCommand("cd '" + dir.Path().string() + "' && find in -type f -print0 | sort -z >list"), 0);
  const std::string settings = " --files-from list -0 --percent 50 --name '%0num%-%name%' --format jpg";
  ASSERT_EQ(Convert("--folder whole" + settings, &out, &err), 1) << err;
  // Four parts at once, each with its own JSON lines and a job log, as on four machines.
  const std::string command = "cd '" + dir.Path().string() + "' && parallel --will-cite -j4 --joblog jobs.log \"'" + Cli() +
                              "' convert --shard {}/4 --json --folder parts" + settings + " >part{}.json 2>/dev/null\" ::: 1 2 3 4";
  EXPECT_EQ(testsupport::RunCommand(command), 1);  // one part had the refused file
  EXPECT_TRUE(FilesUnder("parts") == FilesUnder("whole"));
  EXPECT_EQ(FilesUnder("whole").size(), 11u);
  if (testsupport::HaveTool("python3")) {
    const std::string json = CheckJson({"part1.json", "part2.json", "part3.json", "part4.json"});
    EXPECT_EQ(json.substr(0, json.find('\n')), "1,2,3,4,5,6,7,8,9,10,11") << json;
  }
}

}  // namespace
