// The English texts: one table per window and message group, keyed by control name or message
// key. Another language is a copy of this file with its own texts (every key kept) and an entry in
// the language list (forms/Language.cpp).
#include "forms/Texts.h"

namespace forms {

namespace {

const TextEntry kMainWindow[] = {
    {"Tprog", "Vexilo - Corvana"},
    {"ts_bilder", "1. Select Images"},
    {"ts_skalieren", "2. Choose Size"},
    {"ts_speichern", "3. Save"},
    {"gb_input", "Drag and Drop the Images into the List or open a Folder"},
    {"gb_opt", "How shall the Images be resized?"},
    {"gb_output", "How shall the Images be saved?"},
    {"OpenOrdner", "Open &Folder.."},
    {"BitBtn1", "F&ilter.."},
    {"BitBtn3", "Remove &Selected"},
    {"BitBtn2", "Remove &All"},
    {"Button1", "More Options.."},
    {"Button2", "More Options.."},
    {"Button3", "More Options.."},
    {"outordnerbt", "Choose Folder.."},
    {"la_customwidth", "Width:"},
    {"la_customheight", "Height:"},
    {"la_faktor", "Factor (2 doubles the sides; 1/2 or 2:1 halves them):"},
    {"la_filesize", "Target file size in KB:"},
    {"la_ordner", "Folder:"},
    {"la_name", "Filename:"},
    {"la_format", "Format:"},
    {"Label6", "Width:"},
    {"Label14", "Height:"},
    {"rb_pixel", "Resize to Pixel Size"},
    {"rb_benutzer", "Resize to Custom Pixel Size"},
    {"rb_prozent", "Percentage Scale"},
    {"rb_faktor", "Factor/Ratio-Scaling"},
    {"rb_filesize", "Resize to File Size"},
    {"act_sizeprop", "Retain Proportions"},
    {"act_propprozent", "Retain Proportions"},
    {"act_propbenutzer_prop", "Retain Proportions"},
    {"out_overwrite", "Overwrite Original File"},
    {"out_newimage", "Save as new File:"},
    {"durchfuehren", "Forward >>"},
    {"durchfuehren_save", "Save Images"},
    {"m_datei", "&File"},
    {"m_datei_open", "&Open Images.."},
    {"m_datei_ordner", "Open &Folder with Images.."},
    {"m_datei_delmark", "Delete &selected Images from List"},
    {"m_datei_delall", "Delete &all Images from List"},
    {"m_datei_konvert", "&Convert and Save"},
    {"m_datei_dateiumb", "Only &rename Files.."},
    {"m_datei_beenden", "&Close"},
    {"m_einst", "&Settings"},
    {"m_einst_ausgabe", "&Options.."},
    {"m_einst_filter", "&Filter for Search in Folder.."},
    {"m_einstshortcuts", "&Shortcuts with Files and Folders.."},
    {"m_einst_sprache", "&Language"},
    {"m_konfig", "&Configuration"},
    {"m_konfig_save", "Save current Configuration"},
    {"m_konfig_save_start", "Save current Configuration as Start Configuration (Auto.vxc)"},
    {"m_konfig_load", "Load Configuration"},
    {"m_konfig_autosave", "Auto Save Settings on Exit"},
    {"m_konfig_autosave_nie", "Never"},
    {"m_konfig_autosave_alles", "Save all"},
    {"m_konfig_standard", "Reset all Settings"},
    {"reset_question", "Reset all settings to their standard values? Settings that were not saved in a configuration are lost."},
    {"m_konfig_start", "Load Start Configuration (Auto.vxc) if possible"},
    {"m_info", "&Help and Information"},
    {"m_info_help", "&Help"},
    {"m_info_about", "&About Vexilo"},
    {"pop1", "Open corresponding Folder"},
    {"pop2", "Show File Information"},
    {"pop3", "Copy selected Images to Clipboard"},
    {"pop4", "Delete selected Images from List"},
    {"col0", "Name"},
    {"col1", "Type"},
    {"col2", "Width"},
    {"col3", "Height"},
    {"col4", "Filesize"},
    {"col5", "Filepath"},
    {"tip0", "Tip: the three steps of a conversion"},
    {"tip1", "Tip: what the size modes do"},
    {"tip2", "Tip: placeholders in file names"},
    {"tip3", "Tip: keep your settings in configuration files"},
    {"open_title", "Open.."},
    {"config_file", "Configuration.vxc"},
    {"config_filter", "Vexilo Configuration (*.vxc)"},
    // Information when a size box refuses a key.
    {"numbers_only", "In this box only numerical entries are allowed."},
    // What the image list writes into the progress window and the counter label; the suffixes
    // follow a number.
    {"searching", "Searching for Images"},
    {"analyzing", "Analyzing Images"},
    {"found", " Images found"},
    {"analyzed", " Images analyzed"},
    {"added", " Images added"},
    {"count_one", " Image"},
    {"count_many", " Images"},
};

const TextEntry kSplash[] = {
    {"title", "Vexilo Pro - Corvana"},
    {"subtitle", "Convert and resize many images in one go"},
    {"hint", "Click to continue"},
};

const TextEntry kOptions[] = {
    {"Toptionen", "Options"},
    {"GroupBox1", "General Settings"},
    {"act_sizehochquerformat", "Distinction between Landscape and Portrait"},
    {"act_sizekleiner", "Process if Original is smaller than Maximum Size"},
    {"act_sizebigger", "Process if Original is larger than Maximum Size"},
    {"GroupBox2", "Advanced Settings"},
    {"Label4", "Resize Method:"},
    {"Label10", "Output-Quality for the formats JPEG, JNG, MNG, JPEG 2000, WebP, AVIF and HEIC"},
    {"progressivaktiv", "Use Progressive-Function for the formats JPEG, JNG and MNG"},
    {"psdlayers", "Insert image as layer in format PSD (Photoshop)"},
    {"GroupBox3", "Photos"},
    {"keep_orientation", "Keep the stored orientation (do not turn photos upright by their Exif data)"},
    {"to_srgb", "Convert colours to sRGB instead of keeping the embedded colour profile"},
    {"strip_location", "Remove the location and personal data (GPS, owner, serial numbers) from JPEG metadata"},
    {"keep_dates", "Keep the file dates of the originals"},
    {"Button1", "OK"},
};

const TextEntry kSearchFilter[] = {
    {"Tsm_filter", "Filter"},
    {"GroupBox1", "Formats"},
    {"GroupBox2", "Searching Style"},
    {"alle", "All supported Formats"},
    {"auswahl", "Only the selected following Formats:"},
    {"inp_uv", "Search all Subfolders"},
    {"Button1", "OK"},
};

const TextEntry kShortcuts[] = {
    {"Teinstshortcuts", "Shortcuts"},
    {"Label6", "The Program must be executed as an Administrator to apply this functions."},
    {"Label12", "Help and more Information regarding Shortcuts and Administrator Rights on:"},
    {"AlsAdminStarten", "Restart Program as Admin"},
    {"gb1", "Shortcut to Configuration Files (*.vxc)"},
    {"Label1", "Shortcut of this Application with Configuration Files (File Extension: .vxc)"},
    {"gb2", "Send to"},
    {"Label2", "Show this Application in \"Open With\" and in the File Manager's Scripts"},
    {"gb3", "Shortcut with Folders"},
    {"Label3", "Show this Application in the File Manager's Context Menu of Folders"},
    {"gb4", "Shortcut with Files"},
    {"Label4", "Show this Application in the File Manager's Context Menu of all Files"},
    {"Label5", "Show this Application in the File Manager's Context Menu of these Files:"},
    {"KonfigAn", "Register"},
    {"SendenAnAn", "Register"},
    {"OrdnerAn", "Register"},
    {"AlleDateienAn", "Register"},
    {"BeliebigeDateienAn", "Register"},
    {"KonfigAus", "Remove"},
    {"SendenAnAus", "Remove"},
    {"OrdnerAus", "Remove"},
    {"AlleDateienAus", "Remove"},
    {"BeliebigeDateienAus", "Remove"},
    {"OK", "OK"},
    {"status", "Status:"},
    {"active", "Activated"},
    {"inactive", "Not activated"},
    // Label9 on this system, where no administrator rights are needed.
    {"user_links", "Vexilo makes these links for your user account only, so no administrator rights are needed."},
    // The names the desktop entries carry.
    {"type_name", "Corvana Vexilo Configuration"},
    {"verb", "Open with Corvana Vexilo"},
};

const TextEntry kRenamer[] = {
    {"Tdateinamenumbenenner", "File-Renamer - Corvana"},
    {"gb_input", "Drag the Files to be renamed to this List or open a Folder."},
    {"OpenOrdner", "Open Folder.."},
    {"uv", "Search all Subfolders"},
    {"BitBtn3", "Delete Selected"},
    {"BitBtn2", "Delete All"},
    {"BitBtn1", "Filter.."},
    {"gb_maske", "Choose a Mask for the Files."},
    {"label3", "The following Constants are available. Click on a Constant, to copy it to the Mask."},
    {"gb_suchenersetzen", "Find and Replace Expressions in the Filename."},
    {"suchenersetzen", "Search for:"},
    {"Label11", "Replace with:"},
    {"Label16", "Search and Replace in:"},
    {"cb_suchname", "File Name"},
    {"cb_suchendung", "File Extension"},
    {"gb_vorschau", "Preview"},
    {"Umbenennen", "Rename"},
    {"la_name", "Old Name of the File"},
    {"la_num", "Numbering starting with:"},
    {"la_0num", "Numbering with Left-Hand-Zeros"},
    {"la_abs", "Total Number of Files in the List"},
    {"la_vor_orig", "Old Name:"},
    {"la_vor_out", "New Name:"},
    {"undo", "&Undo last Rename"},
    {"pop1", "Open corresponding Folder"},
    {"pop2", "Show File Information"},
    {"pop3", "Copy selected Files to Clipboard"},
    {"pop4", "Delete selected Files from List"},
    {"col0", "Name"},
    {"col1", "Type"},
    {"col2", "Size"},
    {"col3", "Status"},
    {"col4", "Path"},
    // The states of a row.
    {"added", "Added"},
    {"renamed", "Renamed"},
    {"exists", "File already exists"},
    {"not_renamed", "Not Renamed"},
    {"error", "Error"},
    {"restored", "Restored"},
    // The status bar; each follows a number.
    {"loaded", " files loaded"},
    {"files_renamed", " files renamed"},
    {"files_not_renamed", " files could not be renamed"},
    {"files_restored", " files restored"},
    {"files_not_restored", " files could not be restored"},
    // Reports and questions; %1 and %2 stand for numbers.
    {"journal_error", "The record of the renames could not be kept, so no further file was renamed:"},
    {"nothing_to_undo", "There is no rename to undo"},
    {"undo_failures", "These files could not get their old names back:"},
    {"journal_skipped", "The record of the renames names these files in a way no rename does; they were left alone:"},
    {"pending_undo",
     "Undoing a rename was interrupted: %1 of %2 files still have their new name.\n\n"
     "Roll back and Finish both give them their old names back."},
    {"pending_rename",
     "A rename run was interrupted: %1 of %2 files have their new name.\n\n"
     "Roll back gives them their old names back; Finish renames the other files too."},
    {"roll_back", "Roll back"},
    {"finish", "Finish"},
    {"later", "Later"},
};

const TextEntry kRenamerFilter[] = {
    {"Tdateinamenumbenenner_filter", "Filter"},
    {"Label1", "Which files shall be looked for?"},
    {"alle", "Search for all files (Use no filter)"},
    {"auswahl", "Only search for following files:"},
    {"OK", "OK"},
};

// The two English overwrite lines end in a blank, as users see them.
const TextEntry kDialogs[] = {
    {"caption", "Vexilo - Corvana"},
    {"ok", "OK"},
    {"cancel", "Cancel"},
    {"ok_for_all", "OK for all"},
    {"overwrite_title", "File already exists"},
    {"overwrite_line1", "The following File already exists:"},
    {"overwrite_question", "Shall this File be overwritten with the new File? "},
    {"overwrite_warning", "Overwritten Files cannot be restored. "},
    {"yes", "Yes"},
    {"no", "No"},
    {"yes_for_all", "Yes for all"},
    {"no_for_all", "No for all"},
    {"break", "Break"},
    {"progress_title", "Processing"},
    {"progress_current", "Current Image:"},
    {"folder_chooser", "Choose a Folder for Output"},
    // The line under a run's progress bar: %1 the percentage, %2 the files done, %3 all files;
    // the second part follows once the time left can be told (%1 as 1:05).
    {"progress_done", "%1 % – %2 of %3 files"},
    {"progress_left", " – about %1 left"},
    // The summary after a run; %1 stands for a number or the time taken.
    {"summary_title", "Conversion finished"},
    {"summary_cancelled", "Conversion stopped"},
    {"summary_written", "Written: %1"},
    {"summary_failed", "Failed: %1"},
    {"summary_kept", "Kept or skipped: %1"},
    {"summary_time", "Time taken: %1"},
    // The image list's column of what the last run did with each file (kept: an existing output
    // was left alone); cleared when the list changes.
    {"status_column", "Result"},
    {"status_written", "written"},
    {"status_failed", "failed"},
    {"status_kept", "kept"},
    // The preview pane of the size and save pages: %1 the source's size, %2 its file size, %3 and
    // %4 the output's; a file that cannot be read, with %1 its cause; a preview being made.
    {"preview_title", "Preview"},
    {"preview_sizes", "%1, %2 → %3, %4"},
    {"preview_unreadable", "cannot be read: %1"},
    {"preview_failed", "would not be written: %1"},
    {"preview_busy", "making the preview…"},
    {"preview_none", "Select a file in the list to see what the settings make of it."},
    {"preview_actual", "100 %"},
    {"preview_source", "Source"},
    {"preview_result", "Result"},
    {"summary_failures", "Files that failed:"},
    {"summary_notes", "Notes:"},
    {"open_output", "Open output folder"},
    {"save_report", "Save report.."},
    {"close", "Close"},
    {"report_file", "Vexilo report.txt"},
    {"report_filter", "Text files (*.txt)"},
    {"report_error", "The report could not be saved:"},
};

// The texts as users and their documentation know them, with plain spelling and grammar errors
// corrected. A message whose second line shows the path has no line2. The entries are named by
// the message keys of forms/MessageKeys.h, spelt out here as the data they are.
const TextEntry kMessages[] = {
    {"ordnerfalschopen.title", "Folder not found"},
    {"ordnerfalschopen.line1", "There is no Folder at this Path:"},
    {"ordnerfalschopen.line3", "Enter a correct Folder and try again."},
    {"ordnerfalsch.title", "False Folder"},
    {"ordnerfalsch.line1", "This is not a correct Folder for Saving Files:"},
    {"ordnerfalsch.line3", "Enter a correct Folder for your Images and try again."},
    {"ordnernichtschreibbar.title", "Folder cannot be written"},
    {"ordnernichtschreibbar.line1", "The folder"},
    {"ordnernichtschreibbar.line3", "cannot be written:"},
    {"keinordner.title", "No Folder declared"},
    {"keinordner.line1", "Your Images could not be processed, because in the"},
    {"keinordner.line2", "Saving-Options no Folder is declared."},
    {"keinordner.line3", "Enter a correct Folder for your Images and try again."},
    {"keinname.title", "No Filename declared"},
    {"keinname.line1", "Your Images could not be processed, because in the"},
    {"keinname.line2", "Saving-Options no Filename is declared."},
    {"keinname.line3", "Enter a correct Filename for your Images and try again."},
    {"formatfehler.title", "Format not supported"},
    {"formatfehler.line1", "Unfortunately, the Format of this File is not supported:"},
    {"formatfehler.line3", "The supported Formats are listed in the Help (F1)."},
    {"dateischoninliste.title", "File already added"},
    {"dateischoninliste.line1", "This file is added to the List already:"},
    {"dateischoninliste.line3", "A File can be added to the List only once."},
    {"keinestartkonfig.title", "Start Configuration not defined"},
    {"keinestartkonfig.line1", "It is not possible to load a Start Configuration, because no one is"},
    {"keinestartkonfig.line2", "defined (as File named Auto.vxc in the Settings Folder)."},
    {"keinestartkonfig.line3", "Save a Configuration as Auto.vxc in the Settings Folder."},
    {"speicherfehler.title", "Saving Error"},
    {"speicherfehler.line1", "An Error occurred while saving this file:"},
    {"speicherfehler.line3", "Please use another file format."},
    {"konvertierfehler.title", "Converting Error"},
    {"konvertierfehler.line1", "An Error occurred while converting this file:"},
    {"konvertierfehler.line3", "Please use another file format."},
    {"quellefehlt.title", "File not found"},
    {"quellefehlt.line1", "This file was not found:"},
    {"quellefehlt.line3", "It was skipped; the other Images are processed."},
    {"schongeschrieben.title", "Output already written"},
    {"schongeschrieben.line1", "This run has already written this file:"},
    {"schongeschrieben.line3", "It was kept; choose a name pattern that tells the Images apart (e.g. %num%)."},
    {"metadatenverloren.title", "Metadata not kept"},
    {"metadatenverloren.line1", "This file was written without the metadata of its source:"},
    {"metadatenverloren.line3", "The Image itself is complete."},
    {"dateigroessefalsch.title", "False File Size"},
    {"dateigroessefalsch.line1", "The approximate File Size is not a number:"},
    {"dateigroessefalsch.line3", "Enter the File Size in Kilobytes and try again."},
    {"namefalsch.title", "False Filename"},
    {"namefalsch.line1", "This Filename leads out of the Folder for your Images:"},
    {"namefalsch.line3", "Enter a Filename without \"..\" that does not begin with \"/\" and try again."},
    {"ladefehler.title", "Loading Error"},
    {"ladefehler.line1", "This file could not be read:"},
    {"ladefehler.line3", "It was skipped; the other Images are processed."},
};

const TextEntry kHelp[] = {
    {"title", "Vexilo Help"},
    {"page", R"(<h2>Vexilo</h2>
<p>Vexilo converts and resizes many images in one go.</p>
<h3 id="steps"><a name="steps"></a>The three steps</h3>
<ol><li><b>Select Images</b>: drag files or folders onto the window, use <i>File &gt; Open Images</i>
(Ctrl+O), or type a folder and press Enter. <i>Filter..</i> decides which formats a folder search
collects and whether subfolders are searched. Click a column header to sort; the run follows the
list's order.</li>
<li><b>Choose Size</b>: pick a size mode (below). <i>More Options..</i> sets the resampling method,
the output quality and whether larger or smaller images are changed.</li>
<li><b>Save</b>: overwrite the originals or save new files with a folder, a name and a format, then
press <i>Save Images</i> (or Ctrl+S from any page). The line under the page shows what will happen
to the selected image.</li></ol>
<h3><a name="sizes"></a>Size modes</h3>
<ul><li><b>Pixel size</b>: fits the image into 240&times;320 up to 1024&times;768, keeping proportions
if asked. With the orientation option, portrait images use the box turned.</li>
<li><b>Custom pixel size</b>: your own width and height; an empty side keeps the image's own.</li>
<li><b>Percentage</b>: width and height in percent, coupled unless unchecked.</li>
<li><b>Factor</b>: 2 doubles both sides; 1/2 or 2:1 (old to new) halves them.</li>
<li><b>File size</b>: the size whose file comes close to the given kilobytes, found by trial saves.</li></ul>
<h3><a name="names"></a>Name placeholders</h3>
<table border="0" cellpadding="2">
<tr><td><code>%name%</code></td><td>the source's name without extension</td></tr>
<tr><td><code>%num%</code>, <code>%0num%</code></td><td>the row number, plain or padded with zeros</td></tr>
<tr><td><code>%abs%</code></td><td>the number of rows</td></tr>
<tr><td><code>%width%</code>, <code>%height%</code></td><td>the source's size in pixels</td></tr>
<tr><td><code>%folder%</code></td><td>(in the folder box) the source's folder</td></tr>
<tr><td><code>&lt;keep&gt;</code></td><td>keep the source's folder, name or format</td></tr></table>
<h3><a name="formats"></a>Supported formats</h3>
<p>Read: Windows Bitmap (bmp, dib), JPEG (jpg, jpeg, jfif, jpe, jif), GIF, PNG, MNG, JNG, Windows Icon
and Cursor (ico, cur), TIFF (tif, tiff), Photoshop (psd, pdd), the portable maps (pbm, pgm, ppm, pnm,
pam, pfm), JPEG 2000 (jp2, j2k, j2c, jpx, jpc), DirectDraw Surface (dds), Targa (tga), ZSoft
Paintbrush (pcx), X Window Pixmap (xpm), WebP, AVIF, HEIF (heic, heif) and JPEG XL (jxl).</p>
<p>Written: every type of the <i>Format</i> box on the save page: all of the above but pbm, pnm, pcx,
xpm and heif; HEIC where the system's HEIF library has an HEVC encoder.</p>
<h3><a name="keys"></a>Keys</h3>
<p>Ctrl+Tab and Ctrl+Shift+Tab turn the pages; Alt with the underlined letter presses a button or
opens a menu. In the list, Ctrl+A selects all rows and Delete removes the selected ones. Escape in
the progress window is <i>Break</i>; in the options it closes them with the values they had when
they were opened.</p>
<h3><a name="configs"></a>Configuration files</h3>
<p>The <i>Configuration</i> menu saves all settings into a <code>.vxc</code> file and loads them
again (Ctrl+K). F2 resets all settings; F3 loads the start configuration <code>Auto.vxc</code> from
the settings folder (<code>~/.config/vexilo/</code>, or <code>$VEXILO_HOME</code>). With
<i>Auto Save Settings on Exit &gt; Save all</i> the start configuration is written when the window
closes. The command line program <code>vexilo-cli</code> reads the same files.</p>)"},
    {"about_title", "About Vexilo"},
    // %1 the version, %2 to %7 the versions of Qt, zlib, libjpeg, libtiff, OpenJPEG and libxml2.
    {"about", "<h3>Vexilo %1</h3><p>Converts and resizes many images in one go.</p>"
              "<p>Licence: not yet stated by the authors (no licence file is part of the sources).</p>"
              "<p>Libraries: Qt %2, zlib %3, libjpeg (API %4), libtiff %5, OpenJPEG %6, libxml2 %7.</p>"},
};

// %1, %2 and %3 stand for the texts or numbers the line is made of.
const TextEntry kTerminal[] = {
    {"note", "warning"},
    {"kept", "was kept (--yes-to-all overwrites, --no-to-all keeps without a note)"},
    {"question", "Overwrite?"},
    {"choices", "y = yes, n = no, a = yes to all, N = no to all, b = break"},
    {"no_answer", "\"%1\" is not one of the answers (%2)."},
    {"summary", "%1 written, %2 failed, %3 kept"},
    {"skipped", ", %1 skipped"},
    {"cancelled", ", cancelled"},
    {"not_found", "not found"},
    // The dry run (convert --dry-run): a file the run would not write, with its cause; an output
    // that is there already; the closing line.
    {"dry_failed", "not written: %1"},
    {"dry_exists", " (exists)"},
    {"dry_summary", "dry run: %1 would be written, %2 would fail; nothing was written or created"},
};

// Texts that are also values: they stand in combo boxes and configuration files, and every
// language switch turns the texts of the other languages into these.
const TextEntry kSpecial[] = {
    {"keep", "<keep>"},                 // out_ordner, out_name, out_format: keep the source's
    {"folder", "%folder%"},             // out_ordner: the source's folder
    {"new_folder", "%folder%/new"},     // out_ordner's second item
    {"width", "%width%"},               // out_name: the source's width
    {"height", "%height%"},             // out_name: the source's height
    {"custom", "Custom"},               // out_ordner, out_name: "Custom.." empties the box
    {"user", "Custom"},                 // the size boxes: "Custom.." empties the box
    {"image", "Image"},                 // out_format's items, the open dialog's filter
    {"images", "Images"},               // the open dialog's filter
    {"readable", "Any readable Files"},  // the open dialog's filter
    {"bicubic", "Bicubic"},             // act_sizemethode
    {"bilinear", "Bilinear"},
    {"nearest", "Nearest"},
};

const GroupTexts kTables[] = {
    {TextGroup::MainWindow, kMainWindow},
    {TextGroup::Splash, kSplash},
    {TextGroup::Options, kOptions},
    {TextGroup::SearchFilter, kSearchFilter},
    {TextGroup::Shortcuts, kShortcuts},
    {TextGroup::Renamer, kRenamer},
    {TextGroup::RenamerFilter, kRenamerFilter},
    {TextGroup::Dialogs, kDialogs},
    {TextGroup::Messages, kMessages},
    {TextGroup::Help, kHelp},
    {TextGroup::Terminal, kTerminal},
    {TextGroup::Special, kSpecial},
};

}  // namespace

std::span<const GroupTexts> EnglishTexts() { return kTables; }

}  // namespace forms
