// The texts through which the engine, the image list and the configuration talk to the user:
// the message keys of the message dialog, the overwrite dialog, the progress window and the
// run's text slots, looked up in the text tables of a language (forms/Texts.h).
#pragma once

#include <optional>
#include <string_view>

#include "forms/Language.h"

namespace engine {

// One message of the message dialog. The title is the first line; when `detailLine` is set the
// second line shows the detail path (shortened, in double quotes) instead of `line2`.
struct MessageText {
  const char* title;
  const char* line1;
  const char* line2;  // empty when the detail path stands there
  const char* line3;
  bool detailLine;
  bool okForAll;  // the dialog offers "OK for all"
};

// The message of a key (forms/MessageKeys.h) in a language, or none for a key that is not in the
// table. The texts point into the text tables, which live as long as the program.
std::optional<MessageText> FindMessage(std::string_view key, forms::Language language);

// Fixed texts of the three dialogs and the run's text slots.
enum class TextId {
  DialogCaption,      // window caption of all three dialogs
  ButtonOK,           // message dialog OK
  ButtonOKForAll,     // message dialog "OK for all"
  OverwriteTitle,     // sm_achtung Label1
  OverwriteLine1,     // sm_achtung Label2
  OverwriteQuestion,  // sm_achtung Label4
  OverwriteWarning,   // sm_achtung Label5
  ButtonYes,
  ButtonNo,
  ButtonYesForAll,
  ButtonNoForAll,
  ButtonBreak,        // also the progress window's cancel button
  ProgressTitle,      // title of a conversion run
  ProgressCurrentImage,
  FolderChooserTitle,
};
const char* Text(TextId id, forms::Language language);

}  // namespace engine
