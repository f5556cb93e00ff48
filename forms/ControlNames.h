// The names of the controls of the six windows that hold settings, and of the main window's
// captioned widgets. A control's name is also its key in the configuration files and the key of
// its caption in the text tables (forms/texts/), so these texts must never change: they are
// data, kept from the files the program has always read and written. Code names a control
// through a constant here, so that a misspelt name fails to compile instead of failing when the
// control is looked up; each constant's value is the stored key, so a search for a key such as
// "out_ordner" finds its constant, the form that creates the control and every reader.
//
// The main window and the options dialog hold the settings of a conversion; their names are
// in forms::ctl itself. The other windows have a namespace each.
#pragma once

#include <string_view>

namespace forms::ctl {

using Name = std::string_view;

// ---- Main window, first page: choosing the images ----
inline constexpr Name kSourceFolder = "inp_ordner";  // the folder box, searched on Enter

// ---- Main window, size page ----
// The size mode: one of five radio buttons of one group, each with a panel of its settings.
inline constexpr Name kPresetSizeMode = "rb_pixel";       // a preset box
inline constexpr Name kCustomSizeMode = "rb_benutzer";    // a custom box
inline constexpr Name kPercentSizeMode = "rb_prozent";    // percent of the source
inline constexpr Name kFactorSizeMode = "rb_faktor";      // a factor or ratio
inline constexpr Name kFileSizeMode = "rb_filesize";      // a target file size
inline constexpr Name kPresetPanel = "pa_pixel";
inline constexpr Name kCustomPanel = "pa_benutzer";
inline constexpr Name kPercentPanel = "pa_prozent";
inline constexpr Name kFactorPanel = "pa_faktor";
inline constexpr Name kFileSizePanel = "pa_filesize";

// The preset boxes, one of a group; width x height.
inline constexpr Name kPreset240x320 = "act_size240x320";
inline constexpr Name kPreset640x480 = "act_size640x480";
inline constexpr Name kPreset800x600 = "act_size800x600";
inline constexpr Name kPreset1024x768 = "act_size1024x768";
inline constexpr Name kKeepPresetProportions = "act_sizeprop";

inline constexpr Name kCustomWidth = "act_sizebenutzer_x";   // custom width text
inline constexpr Name kCustomHeight = "act_sizebenutzer_y";  // custom height text
inline constexpr Name kKeepCustomProportions = "act_propbenutzer_prop";

inline constexpr Name kPercentWidth = "act_sizeprozent_x";   // percent width text
inline constexpr Name kPercentHeight = "act_sizeprozent_y";  // percent height text
// One percent for both sides: the height box and its labels hide.
inline constexpr Name kKeepPercentProportions = "act_propprozent";
inline constexpr Name kPercentWidthLabel = "Label6";
inline constexpr Name kPercentHeightLabel = "Label14";

inline constexpr Name kFactor = "ed_faktor";      // factor text
inline constexpr Name kFileSize = "ed_filesize";  // target size text, kilobytes

// ---- Main window, save page ----
inline constexpr Name kOverwriteSource = "out_overwrite";  // write over the source
inline constexpr Name kSaveAsNewFile = "out_newimage";     // save as a new file
inline constexpr Name kNewFilePanel = "pa_speichern";      // the new file's folder, name and type
inline constexpr Name kOutputFolder = "out_ordner";        // folder pattern
inline constexpr Name kOutputName = "out_name";            // name pattern
inline constexpr Name kOutputFormat = "out_format";        // output type item

// ---- Main window, captions of widgets that hold no setting (keys of the main window's texts) ----
inline constexpr Name kImagesPage = "ts_bilder";
inline constexpr Name kSizePage = "ts_skalieren";
inline constexpr Name kSavePage = "ts_speichern";
inline constexpr Name kInputGroup = "gb_input";
inline constexpr Name kOpenFolderButton = "OpenOrdner";
inline constexpr Name kFilterButton = "BitBtn1";
inline constexpr Name kRemoveSelectedButton = "BitBtn3";
inline constexpr Name kRemoveAllButton = "BitBtn2";
inline constexpr Name kSizeGroup = "gb_opt";
inline constexpr Name kPresetOptionsButton = "Button1";   // "More Options.." of each size mode
inline constexpr Name kCustomOptionsButton = "Button2";
inline constexpr Name kPercentOptionsButton = "Button3";
inline constexpr Name kCustomWidthLabel = "la_customwidth";
inline constexpr Name kCustomHeightLabel = "la_customheight";
inline constexpr Name kFactorLabel = "la_faktor";
inline constexpr Name kFileSizeLabel = "la_filesize";
inline constexpr Name kSaveGroup = "gb_output";
inline constexpr Name kOutputFolderLabel = "la_ordner";
inline constexpr Name kOutputNameLabel = "la_name";
inline constexpr Name kOutputFormatLabel = "la_format";
inline constexpr Name kChooseFolderButton = "outordnerbt";
inline constexpr Name kForwardButton = "durchfuehren";  // moves on; on the last page it saves

// ---- Options dialog ----
inline constexpr Name kRotateBox = "act_sizehochquerformat";  // turn the box to the picture's orientation
inline constexpr Name kShrinkLarger = "act_sizebigger";       // change a source larger than the box
inline constexpr Name kEnlargeSmaller = "act_sizekleiner";    // change a source smaller than the box
inline constexpr Name kResizeMethod = "act_sizemethode";      // resampling method text
inline constexpr Name kQuality = "out_quality";               // output quality text
inline constexpr Name kQualityScrollBar = "ScrollBar1";
inline constexpr Name kProgressive = "progressivaktiv";       // progressive output
inline constexpr Name kPhotoshopLayer = "psdlayers";          // Photoshop output as a layer
// Check boxes of this program beyond the original dialog; the configuration files keep them in
// a section of their own, [VX] (config/Configuration.h).
inline constexpr Name kKeepDates = "keep_dates";              // outputs get the source's file times
inline constexpr Name kKeepOrientation = "keep_orientation";  // leave the Exif orientation as stored
inline constexpr Name kToSrgb = "to_srgb";                    // convert colours to sRGB, embed no profile
inline constexpr Name kStripLocation = "strip_location";      // leave GPS and personal tags out
// Captions only.
inline constexpr Name kGeneralGroup = "GroupBox1";
inline constexpr Name kAdvancedGroup = "GroupBox2";
inline constexpr Name kPhotosGroup = "GroupBox3";
inline constexpr Name kResizeMethodLabel = "Label4";
inline constexpr Name kQualityLabel = "Label10";
inline constexpr Name kOptionsOkButton = "Button1";

// ---- Folder-search filter ----
namespace folderFilter {
inline constexpr Name kAllFormats = "alle";        // every supported format
inline constexpr Name kChosenFormats = "auswahl";  // only the checked format boxes
inline constexpr Name kSubfolders = "inp_uv";      // search subfolders too
inline constexpr Name kFormatsGroup = "GroupBox1";
inline constexpr Name kSearchStyleGroup = "GroupBox2";
inline constexpr Name kOkButton = "Button1";
}  // namespace folderFilter

// ---- File renamer ----
namespace renamer {
inline constexpr Name kSourceFolder = "quordner";  // the folder box, searched on Enter
inline constexpr Name kSubfolders = "uv";
inline constexpr Name kMask = "maske";              // the new name without extension
inline constexpr Name kFirstNumber = "numstart";    // the first number of %num% and %0num%
inline constexpr Name kSearchAndReplace = "suchenersetzen";
inline constexpr Name kSearchText = "suchenalt";
inline constexpr Name kReplacementText = "suchenneu";
inline constexpr Name kReplaceInName = "cb_suchname";
inline constexpr Name kReplaceInExtension = "cb_suchendung";
// Captions only.
inline constexpr Name kInputGroup = "gb_input";
inline constexpr Name kOpenFolderButton = "OpenOrdner";
inline constexpr Name kFilterButton = "BitBtn1";
inline constexpr Name kRemoveSelectedButton = "BitBtn3";
inline constexpr Name kRemoveAllButton = "BitBtn2";
inline constexpr Name kCountLabel = "la_anzahl";
inline constexpr Name kMaskGroup = "gb_maske";
inline constexpr Name kMaskHint = "label3";
// The placeholder labels: a click puts their placeholder into the mask.
inline constexpr Name kNamePlaceholder = "Label5";        // %name%
inline constexpr Name kNumberPlaceholder = "Label7";      // %num%
inline constexpr Name kZeroNumberPlaceholder = "Label12"; // %0num%
inline constexpr Name kTotalPlaceholder = "Label9";       // %abs%
inline constexpr Name kSearchGroup = "gb_suchenersetzen";
inline constexpr Name kReplacementLabel = "Label11";
inline constexpr Name kReplaceWhereLabel = "Label16";
inline constexpr Name kPreviewGroup = "gb_vorschau";
inline constexpr Name kOldNameLabel = "vor_orig";
inline constexpr Name kNewNameLabel = "vor_out";
inline constexpr Name kRenameButton = "Umbenennen";
}  // namespace renamer

// ---- The renamer's file filter ----
namespace renamerFilter {
inline constexpr Name kAllFiles = "alle";
inline constexpr Name kChosenExtensions = "auswahl";  // only the extensions of kExtensions
inline constexpr Name kExtensions = "filter";         // "jpg,bmp,txt"
inline constexpr Name kQuestionLabel = "Label1";
inline constexpr Name kOkButton = "OK";
}  // namespace renamerFilter

// ---- Desktop integration ----
namespace shortcuts {
inline constexpr Name kChosenExtensions = "beldateien";  // the extensions of the last hook
inline constexpr Name kAdminNeededLabel = "Label6";
inline constexpr Name kRightsLabel = "Label9";
inline constexpr Name kHelpLabel = "Label12";
inline constexpr Name kHelpLink = "Label70";
inline constexpr Name kRestartAsAdminButton = "AlsAdminStarten";
inline constexpr Name kChosenExtensionsLabel = "Label5";
// One group per hook: a box, a description, a status label and a button on and off.
inline constexpr Name kConfigurationFilesGroup = "gb1";
inline constexpr Name kConfigurationFilesText = "Label1";
inline constexpr Name kConfigurationFilesStatus = "ver_konfig";
inline constexpr Name kConfigurationFilesOn = "KonfigAn";
inline constexpr Name kConfigurationFilesOff = "KonfigAus";
inline constexpr Name kSendToGroup = "gb2";
inline constexpr Name kSendToText = "Label2";
inline constexpr Name kSendToStatus = "ver_sendenan";
inline constexpr Name kSendToOn = "SendenAnAn";
inline constexpr Name kSendToOff = "SendenAnAus";
inline constexpr Name kFoldersGroup = "gb3";
inline constexpr Name kFoldersText = "Label3";
inline constexpr Name kFoldersStatus = "ver_ordner";
inline constexpr Name kFoldersOn = "OrdnerAn";
inline constexpr Name kFoldersOff = "OrdnerAus";
inline constexpr Name kAllFilesGroup = "gb4";
inline constexpr Name kAllFilesText = "Label4";
inline constexpr Name kAllFilesStatus = "ver_alledateien";
inline constexpr Name kAllFilesOn = "AlleDateienAn";
inline constexpr Name kAllFilesOff = "AlleDateienAus";
inline constexpr Name kChosenExtensionsOn = "BeliebigeDateienAn";
inline constexpr Name kChosenExtensionsOff = "BeliebigeDateienAus";
inline constexpr Name kOkButton = "OK";
}  // namespace shortcuts

}  // namespace forms::ctl
