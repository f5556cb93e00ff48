// How long actions (the conversion run, adding files, folder searches, the renamer) report and
// ask: the message dialog (sm_meldung), the overwrite dialog (sm_achtung) and the progress
// window (sm_bearbeitung). The Qt windows, a scripted double for tests and the terminal front
// end implement the same interface; the answer flags live in one DialogFlags object that the
// buttons set and the caller reads and clears.
#pragma once

#include <functional>
#include <string>

namespace engine {

enum class MessageButton { OK, OKForAll };
enum class OverwriteButton { Yes, No, YesForAll, NoForAll, Break };

// The answer flags of the three dialogs. Each is set by a button and read and cleared by the
// caller; which button sets which flag is decided here and nowhere else.
struct DialogFlags {
  bool showNoMore = false;       // sm_meldung: "OK for all"
  bool askNoMore = false;        // sm_achtung: "Yes for all", "No for all"
  bool no = false;               // sm_achtung: "No", "No for all"
  bool cancelOverwrite = false;  // sm_achtung: "Break"
  bool cancelProgress = false;   // sm_bearbeitung: "Break" (adding files; a run uses a stop token)

  // The flags of a pressed message button: "OK for all" sets showNoMore.
  void Answered(MessageButton button);
  // The flags of a pressed overwrite button. The no flag is cleared first, as before every
  // question: Yes sets none; No sets no; Yes for all askNoMore; No for all askNoMore and no;
  // Break cancelOverwrite.
  void Answered(OverwriteButton button);
  // The end of every run clears all five.
  void ClearAll() { *this = DialogFlags(); }
};

// The modal questions and the notes of a long action. A front end shows each and returns the
// pressed button; the caller records the answer in its DialogFlags. A run calls these on its
// own thread and waits for the answer, so a front end that shows them on another thread blocks
// the caller until the user has answered.
class Questions {
public:
  virtual ~Questions() = default;
  // The message dialog: the message of the key (forms/MessageKeys.h, texts in Messages.h) with
  // the detail path. The cause, when there is one, is the library's or the system's own text for
  // what went wrong ("Permission denied", "Invalid JPEG file structure"); it is shown below the
  // message.
  virtual MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) = 0;
  // The overwrite question about an existing file.
  virtual OverwriteButton ShowOverwrite(const std::string& path) = 0;
  // A note about a file that is processed all the same, such as a picture whose data end early
  // ("JPEG data end early; the missing part is grey"). It does not wait for a button; front
  // ends list it where the user sees it after the run.
  virtual void ShowNote(const std::string& path, const std::string& text) = 0;
};

// Shows the message and records the answer. It does not look at showNoMore: callers that
// honour the flag test it first (ReportUnlessSilenced).
void ShowMessageAndRecord(Questions& questions, DialogFlags& flags, const std::string& key, const std::string& detail,
                          const std::string& cause = "");
// Shows the message unless showNoMore is set; returns whether it was shown.
bool ReportUnlessSilenced(Questions& questions, DialogFlags& flags, const std::string& key, const std::string& detail,
                          const std::string& cause = "");
// Asks about overwriting an existing file and records the answer.
void AskOverwriteAndRecord(Questions& questions, DialogFlags& flags, const std::string& path);

// The three text lines of the progress window.
struct ProgressText {
  std::string title;
  std::string line;
  std::string fileLine;
};

// The questions together with the progress window and the main window, for the actions that run
// on the user-interface thread (adding files, folder searches, the renamer) and the program-wide
// answer flags. A conversion run uses only the Questions part and these flags.
class UserDialogs : public Questions {
public:
  virtual ~UserDialogs() = default;

  DialogFlags& Flags() { return flags_; }
  const DialogFlags& Flags() const { return flags_; }

  // ShowMessageAndRecord, ReportUnlessSilenced and the overwrite question with this object's
  // flags (see the free functions above). Report shows the message whatever showNoMore says.
  void Report(const std::string& key, const std::string& detail, const std::string& cause = "");
  // Shows the message unless showNoMore is set; returns whether it was shown.
  bool ReportUnlessSilenced(const std::string& key, const std::string& detail, const std::string& cause = "");

  void AskOverwrite(const std::string& path);

  // ---- Progress window (shown without blocking) ----
  // Fills the three lines, sets the bar to 0 of `maximum` and shows the window.
  virtual void ShowProgress(const ProgressText& text, int maximum) = 0;
  // The third line: a path, shortened to the window's width (ShortenPath), and a suffix kept
  // whole after it, such as the run's counter " (3/12)". A line without a path ("3 Images
  // analyzed") is all suffix.
  virtual void SetProgressFileLine(const std::string& path, const std::string& suffix) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void HideProgress() = 0;
  // Lets pending user-interface events through once; this is where a click on the progress
  // window's Break sets cancelProgress.
  virtual void ProcessEvents() = 0;

  // The main window is disabled for a long action and enabled again at its end; a cancelled
  // run gives it the keyboard focus.
  virtual void SetMainWindowEnabled(bool enabled) = 0;
  virtual void FocusMainWindow() = 0;

private:
  DialogFlags flags_;
};

// Shortens a path to a width by replacing leading folders with ".../" one at a time
// (/home/u/pics/a.jpg, /.../pics/a.jpg, .../a.jpg ... then a.jpg). `measure` gives the width of
// a text in the caller's unit (pixels in a font, characters on a terminal). The result may still
// be wider when only the file name is left. The suffix (a counter such as " (3/12)") belongs to
// the file name and is measured with it.
std::string ShortenPath(const std::string& path, int width, const std::function<int(const std::string&)>& measure,
                        const std::string& suffix = "");

}  // namespace engine
