// How long actions (the conversion run, adding files, folder searches, the renamer) report and
// ask: the message dialog (sm_meldung), the overwrite dialog (sm_achtung) and the progress
// window (sm_bearbeitung). The Qt windows, a scripted double for tests and the terminal front
// end implement the same interface; the answer flags live in one DialogFlags object that the
// buttons set and the caller reads and clears.
#pragma once

#include <functional>
#include <string>

namespace vexilo {

struct DialogFlags {
  bool showNoMore = false;       // sm_meldung: "OK for all"
  bool askNoMore = false;        // sm_achtung: "Yes for all", "No for all"
  bool no = false;               // sm_achtung: "No", "No for all"
  bool cancelOverwrite = false;  // sm_achtung: "Break"
  bool cancelProgress = false;   // sm_bearbeitung: "Break"

  // The end of every run clears all five.
  void ClearAll() { *this = DialogFlags(); }
};

enum class MessageButton { OK, OKForAll };
enum class OverwriteButton { Yes, No, YesForAll, NoForAll, Break };

// The three text lines of the progress window.
struct ProgressText {
  std::string title;
  std::string line;
  std::string fileLine;
};

class UserDialogs {
public:
  virtual ~UserDialogs() = default;

  DialogFlags& Flags() { return flags_; }
  const DialogFlags& Flags() const { return flags_; }

  // Tprog.meldungzeigen: shows the message of the key (Messages.h) with the detail path and
  // waits for a button; "OK for all" sets showNoMore. It does not look at showNoMore itself:
  // callers that honour the flag test it first.
  // The cause, when there is one, is the library's or the system's own text for what went wrong
  // ("Permission denied", "Invalid JPEG file structure"); it is shown below the message.
  void meldungzeigen(const std::string& key, const std::string& detail, const std::string& cause = "");
  // Shows the message unless showNoMore is set; returns whether it was shown.
  bool ReportUnlessSilenced(const std::string& key, const std::string& detail, const std::string& cause = "");

  // The overwrite question about an existing file: clears the no flag, asks, and sets the
  // flags of the pressed button (Yes: none; No: no; Yes for all: askNoMore; No for all:
  // askNoMore and no; Break: cancelOverwrite).
  void AskOverwrite(const std::string& path);

  // A note about a file that is processed all the same, such as a picture whose data end early
  // ("JPEG data end early; the missing part is grey"). It does not wait for a button; front
  // ends list it where the user sees it after the run.
  virtual void ShowNote(const std::string& path, const std::string& text) = 0;

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

protected:
  // The modal dialogs themselves: show, wait, return the pressed button.
  virtual MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) = 0;
  virtual OverwriteButton ShowOverwrite(const std::string& path) = 0;

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

}  // namespace vexilo
