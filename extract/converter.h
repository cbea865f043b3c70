#pragma once
// The Convert command: one image or a numbered series (stem01.bin .. stem99.bin),
// with progress, Stop by a second click and the user's messages. Plain C++: the
// control window implements ConvertHost, the command-line tool a terminal host.
#include <string>

#include "extract/cdg_extractor.h"

namespace lyrvox {

class ConvertHost {
  public:
    virtual ~ConvertHost() = default;
    virtual void ShowMessage(const std::string& text) = 0;        // title "lyrvox", OK only
    virtual void SetConvertCaption(const std::string& text) = 0;  // btnConvert
    virtual void SetFileNameLabel(const std::string& text) = 0;   // lblFName
    virtual void SetProgressLabel(const std::string& text) = 0;   // lblProgress ("000%".."100%")
    virtual void Yield() = 0;                                     // serve the event queue once
};

// How the last run ended, for callers that need more than the messages (the
// command-line tool's exit status).
enum class ConvertOutcome {
    None,          // no run yet
    Converted,     // every image asked for was converted (a series may have had none)
    Stopped,       // the user stopped the run; the partial output is kept
    NotFound,      // "File not found!"
    InvalidImage,  // "Not a valid CDRWin CD+G file!"
    WouldOverwrite,
    ReadFailed,
    WriteFailed,
};

struct ConvertSummary {
    ConvertOutcome outcome = ConvertOutcome::None;
    int imagesConverted = 0;  // images whose output was written whole
};

class Converter {
  public:
    explicit Converter(ConvertHost& host, ExtractOptions options = {})
        : host_(host), options_(options) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // A click on Convert with the text of txtSource. While a run is in progress
    // (a nested click from inside its yields) this is the Stop request; further
    // clicks before the run has wound down are ignored.
    void btnConvert_Click(const std::string& sourceText);
    bool Converting() const { return Converting_; }
    const ConvertSummary& lastRun() const { return summary_; }

    // The name of the .cdg file made from an image: the image path up to the
    // first full stop of its last component, then ".cdg".
    static std::string OutputNameFor(const std::string& imagePath);
    // True when the source text names one image (its last component holds a
    // full stop) rather than the stem of a numbered series.
    static bool IsSingleImage(const std::string& sourceText);

  private:
    void runCommand(const std::string& sourceText);
    // Converts one image; false when the run has been ended (with its message).
    bool ConvertImage(const std::string& image);
    void startRun();
    void endRun(const std::string& message, ConvertOutcome outcome);

    ConvertHost& host_;
    ExtractOptions options_;
    bool Converting_ = false;  // false again once Stop is requested
    bool running_ = false;     // a run is on the stack, stopping or not
    ConvertSummary summary_;
};

}  // namespace lyrvox
