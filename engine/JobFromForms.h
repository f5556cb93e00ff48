// The one place where the settings of a conversion are read from the controls: the forms of the
// main window and of the options dialog become a ConversionJob. The desktop program and the
// command line build their jobs here; the run only sees the jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/ConversionJob.h"
#include "forms/Form.h"

namespace engine {

// The job as the controls hold it now.
ConversionJob JobFromForms(const forms::Form& mainForm, const forms::Form& options);

// A job source that reads the two forms each time the run asks, so that a change made while
// the run goes on (the options dialog stays usable) applies from the next file. The forms must
// outlive the run, and the source is called on the run's thread: a front end whose forms belong
// to another thread wraps it so that the read happens there.
JobSource JobSourceFromForms(const forms::Form& mainForm, const forms::Form& options);

// The method a text of the method box (forms::ctl::kResizeMethod) names, by its first three
// letters (forms::ResizeMethodOf): "Bic" or "Bik" bicubic, "Bil" bilinear, "Näc" or "Nea"
// nearest neighbour; none for any other text.
std::optional<imaging::ResizeFilter> FilterOfMethodText(const std::string& text);

// The quality passed to the codecs: the integer value of the quality text clamped to 1..100,
// or the scroll bar's position (clamped too) when the text is not an integer (empty, typed
// over, or set so by a configuration).
int32_t QualityOfText(const std::string& text, int32_t scrollPosition);

}  // namespace engine
