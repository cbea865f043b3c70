#pragma once
// The Convert command: one image or a numbered series (stem01.bin .. stem99.bin),
// with progress, Stop by a second click and the user's messages. Each output is
// written beside its name and put in place only when whole, so a failure, a Stop
// or a crash never leaves a cut .cdg, and an existing one is replaced only when
// the user agreed. Plain C++: the control window implements ConvertHost, the
// command-line tool a terminal host.
#include <optional>
#include <string>
#include <vector>

#include "extract/cdg_extractor.h"

namespace lyrvox {

class ConvertHost {
  public:
    virtual ~ConvertHost() = default;
    virtual void showMessage(const std::string& text) = 0;  // title "lyrvox", OK only
    // A run starts (the Convert button becomes its Stop button) or has ended.
    virtual void setConverting(bool converting) = 0;
    virtual void showImageName(const std::string& name) = 0;  // "" when idle
    virtual void showProgress(const std::string& text) = 0;   // "000%".."100%", "" when idle
    virtual void serveEvents() = 0;                           // serve the event queue once
    // A Yes/No question, asked at most once a run before anything is converted,
    // when outputs exist already; true lets the run replace them.
    virtual bool askReplace(const std::string& question) = 0;
};

// How the last run ended, for callers that need more than the messages (the
// command-line tool's exit status).
enum class ConvertOutcome {
    None,           // no run yet
    Converted,      // every image asked for was converted, except those whose output was kept
    Stopped,        // the user stopped the run; the image in progress left no output
    NothingChosen,  // the source text was empty
    AllKept,        // every output existed and the user kept them: nothing to do
    NotFound,       // "File not found!"
    InvalidImage,   // "Not a valid CDRWin CD+G file!"
    WouldOverwrite,
    ReadFailed,
    WriteFailed,
};

struct ConvertSummary {
    ConvertOutcome outcome = ConvertOutcome::None;
    int imagesConverted = 0;  // images whose output was written whole
    // Existing outputs the user chose to keep; their images were not converted.
    std::vector<std::string> keptOutputs;
};

class Converter {
  public:
    explicit Converter(ConvertHost& host, ExtractOptions options = {})
        : host_(host), options_(options) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // A click on Convert with the text of the source box. While a run is in
    // progress (a nested click from inside its serving of events) this is the
    // Stop request; further clicks before the run has wound down are ignored.
    void convertOrStop(const std::string& sourceText);
    bool converting() const { return converting_; }
    const ConvertSummary& lastRun() const { return summary_; }

    // The name of the .cdg file made from an image: the image path up to the
    // last full stop of its last component, then ".cdg" ("real.cdg.bin" gives
    // "real.cdg.cdg").
    static std::string outputNameFor(const std::string& imagePath);
    // The real name of the one image the source text names: an existing file,
    // found without regard to letter case. nullopt when the text names none and
    // so is the stem of a numbered series ("/discs/Vol. 2 disc" for
    // "/discs/Vol. 2 disc01.bin" ..), full stops or not.
    static std::optional<std::string> singleImage(const std::string& sourceText);

  private:
    void runCommand(const std::string& sourceText);
    // Converts one image, replacing an existing output only when allowed; false
    // when the run has been ended (with its message).
    bool convertImage(const std::string& image, bool replaceExisting);
    void startRun();
    void endRun(const std::string& message, ConvertOutcome outcome);

    ConvertHost& host_;
    ExtractOptions options_;
    bool converting_ = false;  // false again once Stop is requested
    bool running_ = false;     // a run is on the stack, stopping or not
    ConvertSummary summary_;
};

}  // namespace lyrvox
