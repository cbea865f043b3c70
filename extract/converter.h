#pragma once
// The Convert command: one image or a numbered series (stem01.bin .. stem99.bin),
// in two steps. The plan looks at the disk only (which images, which outputs exist
// already, the question to ask or the reason to refuse) and is quick enough for
// the window's thread; the run converts a plan, on whatever thread the caller
// gives it, reporting through a ConvertHost and stopping when the host says so.
// Each output is written beside its name and put in place only when whole, so a
// failure, a Stop or a crash never leaves a cut .cdg, and an existing one is
// replaced only when the user agreed. Plain C++: the control window runs it on a
// worker thread, the command-line tool on its own.
#include <optional>
#include <string>
#include <vector>

#include "extract/cdg_extractor.h"

namespace lyrvox {

// What a run reports. Every call comes from the thread the run is on.
class ConvertHost {
  public:
    virtual ~ConvertHost() = default;
    // The image the run works on now (its file name), before its first progress.
    virtual void showImageName(const std::string& name) = 0;
    // "000%".."100%" of the image's sectors, at most as often as ExtractSubcode reports.
    virtual void showProgress(const std::string& text) = 0;
    // The run's last word (or a refusal's reason): title "lyrvox", OK only.
    virtual void showMessage(const std::string& text) = 0;
    // Asked before each image and after each progress report; once true, the run
    // ends at that point and the image in progress leaves no output.
    virtual bool stopRequested() = 0;
};

// How a run ended, for callers that need more than the messages (the
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

// What a click on Convert would do, found without writing anything.
struct ConvertPlan {
    std::vector<std::string> images;  // real names, in the order they are converted
    // Outputs of `images` that exist already, and the Yes/No question about them
    // ("" when there are none). Outputs that cannot be replaced anyway (a folder,
    // the image itself) are left out: they fail on their own when their turn comes.
    std::vector<std::string> existingOutputs;
    std::string question;
    bool replaceExisting = false;          // the answer; No until answer(true)
    std::vector<std::string> keptOutputs;  // the existing outputs after a No
    // A plan that converts nothing: the message the run shows, and its outcome.
    std::string refusal;
    ConvertOutcome refusalOutcome = ConvertOutcome::None;

    bool refused() const { return !refusal.empty(); }
    // The user's answer to the question. No keeps the existing outputs and drops
    // their images; with every image dropped the plan refuses ("Nothing converted").
    void answer(bool replace);
};

class Converter {
  public:
    // One Converter runs on one thread at a time; the host's calls come from it.
    explicit Converter(ConvertHost& host, ExtractOptions options = {})
        : host_(host), options_(options) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The plan for the text of the source box: the one image it names, or else
    // the members of the numbered series it is the stem of. Reads the disk only.
    static ConvertPlan plan(const std::string& sourceText);
    // Converts a plan (a refused one only shows its message), ends with exactly
    // one showMessage, and returns how it went.
    ConvertSummary run(const ConvertPlan& plan);

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
    enum class Step { Done, Failed };  // Failed: the run has ended with its message
    Step convertImage(const std::string& image, bool replaceExisting);
    // The host's stop, kept once seen.
    bool stopping();
    void end(const std::string& message, ConvertOutcome outcome);

    ConvertHost& host_;
    ExtractOptions options_;
    bool stopped_ = false;
    ConvertSummary summary_;
};

}  // namespace lyrvox
