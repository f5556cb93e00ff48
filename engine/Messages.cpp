#include "engine/Messages.h"

#include <iterator>
#include <string>

#include "forms/MessageKeys.h"
#include "forms/Texts.h"

namespace engine {

namespace {

// The keys and the parts of each message that are the same in every language; the texts are
// the table entries "<key>.title", "<key>.line1", "<key>.line2" (only where no path stands in
// the second line) and "<key>.line3".
struct MessageKind {
  const char* key;
  bool detailLine;
  bool okForAll;
};
namespace msg = forms::msg;
const MessageKind kMessages[] = {
    {msg::kFolderNotSearchable, true, false},  {msg::kBadOutputFolder, true, false},
    {msg::kNoOutputFolder, false, false},      {msg::kNoOutputName, false, false},
    {msg::kFormatNotSupported, true, true},    {msg::kAlreadyInList, true, true},
    {msg::kNoStartConfiguration, false, false}, {msg::kSaveError, true, true},
    {msg::kConversionError, true, true},       {msg::kSourceMissing, true, true},
    {msg::kAlreadyWritten, true, true},        {msg::kMetadataLost, true, true},
    {msg::kBadFileSize, true, false},          {msg::kBadOutputName, true, false},
    {msg::kLoadError, true, true},             {msg::kFolderNotWritable, true, false},
};

// The table keys of the fixed texts, indexed by TextId.
const char* const kTextKeys[] = {
    "caption",         "ok",  "ok_for_all",  "overwrite_title", "overwrite_line1", "overwrite_question",
    "overwrite_warning", "yes", "no",        "yes_for_all",     "no_for_all",      "break",
    "progress_title",  "progress_current", "folder_chooser",
};
static_assert(std::size(kTextKeys) == static_cast<size_t>(TextId::FolderChooserTitle) + 1);

const char* Line(std::string_view key, const char* part, forms::Language language) {
  const std::string entry = std::string(key) + "." + part;
  const char* text = forms::FindText(language, forms::TextGroup::Messages, entry);
  return text != nullptr ? text : "";
}

}  // namespace

std::optional<MessageText> FindMessage(std::string_view key, forms::Language language) {
  for (const MessageKind& m : kMessages) {
    if (key != m.key) continue;
    return MessageText{Line(key, "title", language), Line(key, "line1", language),
                       m.detailLine ? "" : Line(key, "line2", language), Line(key, "line3", language), m.detailLine,
                       m.okForAll};
  }
  return std::nullopt;
}

const char* Text(TextId id, forms::Language language) {
  const char* key = kTextKeys[static_cast<int>(id)];
  const char* text = forms::FindText(language, forms::TextGroup::Dialogs, key);
  return text != nullptr ? text : key;
}

}  // namespace engine
