// vexilo-cli convert --json: one JSON object a line on standard output, for the programs that
// check a run spread over many machines; the terminal's messages stay on standard error.
//
//   {"record":"start","program":"vexilo-cli","version":"1.2.0","list":12,"files":3,"shard":"2/4",...}
//   {"record":"file","number":2,"source":"/p/b.jpg","output":"/o/02.png","status":"written",...}
//   {"record":"end","written":3,"failed":0,"kept":0,"skipped":0,...,"exit":0}
//
// A start record (the run's files and a summary of its settings), a file record for every file
// of the run and for every input this run refused, and an end record with the counts and the
// exit status. Each line is written whole and flushed, so a run that is killed leaves only whole
// records. Strings are valid UTF-8: a file name that is not is given with U+FFFD for each byte
// that is no part of valid UTF-8, and its exact bytes follow in a second field named after the
// first with "_base64" (RFC 4648).
#pragma once

#include <cstdint>
#include <cstdio>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>

#include "engine/ConversionJob.h"
#include "engine/ConversionRun.h"

namespace cli {

// What the start record tells besides the settings.
struct RunFacts {
  int listFiles = 0;  // the whole list (after folder search and the list's checks)
  int files = 0;      // the files of this run: its part of the list
  engine::ListShard shard;
  int refused = 0;    // inputs the list refused that this run reports
  int jobs = 0;       // files in flight at once
  bool skipExisting = false;
};

// One JSON object, field by field, in the order the fields are added.
class JsonRecord {
public:
  explicit JsonRecord(std::string_view kind);
  JsonRecord& Text(std::string_view key, std::string_view value);
  // A path: as Text, and when its bytes are not valid UTF-8 also key + "_base64" with its bytes.
  JsonRecord& Path(std::string_view key, std::string_view path);
  JsonRecord& Number(std::string_view key, int64_t value);
  // units / 10^decimals, written with a point whatever the locale: (1234, 1) gives 123.4.
  JsonRecord& Decimal(std::string_view key, uint64_t units, int decimals);
  JsonRecord& Flag(std::string_view key, bool value);
  JsonRecord& Null(std::string_view key);
  // A nested object, made with an empty kind (no "record" field).
  JsonRecord& Object(std::string_view key, const JsonRecord& value);
  // The object's text, without a line end.
  std::string Text() const { return text_ + "}"; }

private:
  void Key(std::string_view key);
  std::string text_;
};

// The run's observer for --json: passes every event on to the terminal's observer and writes
// the file records. When standard output cannot be written any more (the reader went away), it
// says so once on standard error and asks the run to stop after the current file.
class JsonReport : public engine::RunObserver {
public:
  JsonReport(std::FILE* out, engine::RunObserver& terminal, std::stop_source stop);

  void Start(const RunFacts& facts, const engine::ConversionJob& job);
  // An input the image list refused (key kSourceMissing or kFormatNotSupported).
  void Refused(const std::string& path, const std::string& key, const std::string& cause);
  // The counts are the run's with this run's refusals added to the failures, as the closing
  // line on the terminal has them; `exitStatus` is the program's.
  void End(const engine::RunResult& result, int refused, int exitStatus);

  void RunStarted(int total) override { terminal_.RunStarted(total); }
  void FileStarted(const engine::FileStart& file) override { terminal_.FileStarted(file); }
  void FileFinished(const engine::FileEnd& file) override;
  void RunFinished(const engine::RunResult& result) override { terminal_.RunFinished(result); }

private:
  void Write(const JsonRecord& record);

  std::FILE* out_;
  engine::RunObserver& terminal_;
  std::stop_source stop_;
  int files_ = 0;
  bool broken_ = false;
};

}  // namespace cli
