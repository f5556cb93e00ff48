#include "cli/JsonReport.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "base/Text.h"
#include "engine/Messages.h"
#include "forms/Language.h"

namespace cli {

namespace {

const char* StatusText(engine::FileResult result) {
  switch (result) {
    case engine::FileResult::Written: return "written";
    case engine::FileResult::Kept: return "kept";
    case engine::FileResult::Failed: return "failed";
    case engine::FileResult::Cancelled: return "cancelled";
    case engine::FileResult::Skipped: return "skipped";
  }
  return "failed";
}

// The cause of a record: the library's or the system's text, or for a failure that has none
// (a source that has gone) the English title of its message. Readers get one language.
std::optional<std::string> CauseText(const std::string& key, const std::string& cause) {
  if (!cause.empty()) return cause;
  if (key.empty()) return std::nullopt;
  if (const auto message = engine::FindMessage(key, forms::Language::English)) return std::string(message->title);
  return key;
}

void AddCause(JsonRecord& record, const std::string& key, const std::string& cause) {
  if (key.empty()) record.Null("key");
  else record.Text("key", key);
  if (const auto text = CauseText(key, cause)) record.Text("cause", *text);
  else record.Null("cause");
}

// The size settings in a few words: "box 640x480, proportions kept", "percent 50", "factor 1/3",
// "file size 200 KB".
std::string SizeText(const engine::ConversionJob& job) {
  const auto box = [](const std::string& w, const std::string& h, bool keep) {
    return "box " + w + "x" + h + (keep ? ", proportions kept" : "");
  };
  switch (job.sizeMode) {
    case engine::SizeMode::None: return "none";
    case engine::SizeMode::Preset:
      return box(std::to_string(job.presetWidth), std::to_string(job.presetHeight), job.keepPreset);
    case engine::SizeMode::Custom: return box(job.customWidthText, job.customHeightText, job.keepCustom);
    case engine::SizeMode::Percent:
      return "percent " + job.percentWidthText + (job.keepPercent ? "" : "x" + job.percentHeightText);
    case engine::SizeMode::Factor: return "factor " + job.factorText;
    case engine::SizeMode::FileSize: return "file size " + job.fileSizeText + " KB";
  }
  return "none";
}

JsonRecord SettingsRecord(const engine::ConversionJob& job) {
  JsonRecord settings("");
  settings.Text("size", SizeText(job));
  if (job.saveMode == engine::SaveMode::Overwrite) {
    settings.Text("save", "overwrite");
  } else {
    settings.Text("save", "new file");
    settings.Path("folder", job.folderPattern);
    settings.Path("name", job.namePattern);
    settings.Text("format", job.formatItem);
  }
  settings.Number("quality", job.quality);
  if (!job.filter) settings.Null("filter");
  else if (*job.filter == imaging::ResizeFilter::Nearest) settings.Text("filter", "nearest");
  else if (*job.filter == imaging::ResizeFilter::Bilinear) settings.Text("filter", "bilinear");
  else settings.Text("filter", "bicubic");
  return settings;
}

}  // namespace

JsonRecord::JsonRecord(std::string_view kind) : text_("{") {
  if (!kind.empty()) Text("record", kind);
}

void JsonRecord::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  text_ += base::JsonString(key);
  text_ += ':';
}

JsonRecord& JsonRecord::Text(std::string_view key, std::string_view value) {
  Key(key);
  text_ += base::JsonString(value);
  return *this;
}

JsonRecord& JsonRecord::Path(std::string_view key, std::string_view path) {
  Text(key, path);
  if (!base::IsValidUtf8(path)) Text(std::string(key) + "_base64", base::Base64(path));
  return *this;
}

JsonRecord& JsonRecord::Number(std::string_view key, int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

JsonRecord& JsonRecord::Decimal(std::string_view key, uint64_t units, int decimals) {
  Key(key);
  std::string digits = std::to_string(units);
  const size_t places = static_cast<size_t>(decimals);
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  if (places > 0) digits.insert(digits.size() - places, 1, '.');
  text_ += digits;
  return *this;
}

JsonRecord& JsonRecord::Flag(std::string_view key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonRecord& JsonRecord::Null(std::string_view key) {
  Key(key);
  text_ += "null";
  return *this;
}

JsonRecord& JsonRecord::Object(std::string_view key, const JsonRecord& value) {
  Key(key);
  text_ += value.Text();
  return *this;
}

JsonReport::JsonReport(std::FILE* out, engine::RunObserver& terminal, std::stop_source stop)
    : out_(out), terminal_(terminal), stop_(std::move(stop)) {}

void JsonReport::Write(const JsonRecord& record) {
  if (broken_) return;
  const std::string line = record.Text() + "\n";
  if (std::fwrite(line.data(), 1, line.size(), out_) == line.size() && std::fflush(out_) == 0) return;
  broken_ = true;
  std::fprintf(stderr, "vexilo-cli: the JSON lines cannot be written (%s); stopping after the current file\n",
               std::strerror(errno));
  stop_.request_stop();
}

void JsonReport::Start(const RunFacts& facts, const engine::ConversionJob& job) {
  JsonRecord record("start");
  record.Text("program", "vexilo-cli").Text("version", VEXILO_VERSION);
  record.Number("list", facts.listFiles).Number("files", facts.files);
  record.Text("shard", std::to_string(facts.shard.index + 1) + "/" + std::to_string(facts.shard.count));
  record.Number("refused", facts.refused).Number("jobs", facts.jobs).Flag("skip_existing", facts.skipExisting);
  record.Object("settings", SettingsRecord(job));
  Write(record);
}

void JsonReport::Refused(const std::string& path, const std::string& key, const std::string& cause) {
  JsonRecord record("file");
  record.Null("number").Path("source", path).Null("output").Text("status", "failed");
  AddCause(record, key, cause);
  record.Null("width").Null("height").Null("bytes").Null("ms");
  Write(record);
}

void JsonReport::FileFinished(const engine::FileEnd& file) {
  terminal_.FileFinished(file);
  JsonRecord record("file");
  record.Number("number", file.position + 1).Path("source", file.source);
  if (file.output.empty()) record.Null("output");
  else record.Path("output", file.output);
  record.Text("status", StatusText(file.result));
  AddCause(record, file.key, file.cause);
  if (file.result == engine::FileResult::Written) {
    record.Number("width", file.width).Number("height", file.height).Number("bytes", static_cast<int64_t>(file.bytes));
  } else {
    record.Null("width").Null("height").Null("bytes");
  }
  const auto tenths = (file.workTime.count() + 50) / 100;  // of a millisecond
  record.Decimal("ms", static_cast<uint64_t>(tenths < 0 ? 0 : tenths), 1);
  Write(record);
}

void JsonReport::End(const engine::RunResult& result, int refused, int exitStatus) {
  JsonRecord record("end");
  record.Number("written", result.written).Number("failed", result.failed + refused);
  record.Number("kept", result.kept).Number("skipped", result.skipped);
  record.Number("not_processed", result.notProcessed).Flag("cancelled", result.cancelled);
  record.Number("exit", exitStatus);
  Write(record);
}

}  // namespace cli
