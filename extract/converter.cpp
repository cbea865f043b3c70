#include "extract/converter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "util/replacing_file.h"
#include "util/rounding.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;

const char kNotFound[] = "File not found!";
const char kInvalid[] = "Not a valid CDRWin CD+G file!";
const char kConverted[] = "File(s) converted!";
const char kChooseFirst[] =
    "Choose a CDRWin image first (or type the stem of a numbered series: disc for disc01.bin "
    "to disc99.bin).";
const char kAllKept[] = "Nothing converted: the existing file(s) were kept.";

// Percentage of sectors done, rounded half to even, at least three digits.
std::string percentText(std::int64_t done, std::int64_t total) {
    const double percent =
        total > 0 ? roundHalfEven(static_cast<double>(done) * 100.0 / static_cast<double>(total))
                  : 100.0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03.0f%%", percent);
    return buffer;
}

std::string reasonOf(const std::error_code& error, const char* fallback) {
    return error ? error.message() : fallback;
}

// True when writing `output` would change `image`: the same text, or another
// name of the same file (a hard or symbolic link, a case variant on a
// case-insensitive file system).
bool sameFile(const std::string& output, const std::string& image) {
    if (output == image) return true;
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(output), fs::path(image), ec);
    return same && !ec;
}

}  // namespace

std::string Converter::outputNameFor(const std::string& imagePath) {
    return stripExtension(imagePath) + ".cdg";
}

std::optional<std::string> Converter::singleImage(const std::string& sourceText) {
    return findFileIgnoreCase(sourceText);
}

ConvertPlan Converter::plan(const std::string& source) {
    ConvertPlan plan;
    const auto refuse = [&](const std::string& message, ConvertOutcome outcome) {
        plan.refusal = message;
        plan.refusalOutcome = outcome;
        return plan;
    };
    if (source.empty()) return refuse(kChooseFirst, ConvertOutcome::NothingChosen);

    // Taken literally (no wildcards), in any letter case.
    if (auto image = singleImage(source)) {
        plan.images.push_back(std::move(*image));
    } else {
        for (int n = 1; n <= 99; ++n) {
            char number[3];
            std::snprintf(number, sizeof number, "%02d", n);
            if (auto member = findFileIgnoreCase(source + number + ".bin"))
                plan.images.push_back(std::move(*member));
        }
    }
    if (plan.images.empty()) {
        // Absent, or the system would not say: a name too long for it, a folder
        // that may not be searched.
        std::error_code error;
        (void)fs::symlink_status(fs::path(source), error);
        if (error && error != std::errc::no_such_file_or_directory &&
            error != std::errc::not_a_directory) {
            return refuse("Cannot read the image: " + source + " (" + error.message() + ")",
                          ConvertOutcome::ReadFailed);
        }
        return refuse(kNotFound, ConvertOutcome::NotFound);
    }

    // Outputs that exist are replaced only when the user says so, asked once, before
    // anything is written. A folder in the way and an output that is the image
    // itself fail on their own when their turn comes.
    std::string names;
    for (const std::string& image : plan.images) {
        const std::string output = outputNameFor(image);
        std::error_code error;
        const fs::file_status status = fs::symlink_status(fs::path(output), error);
        if (error || !fs::exists(status) || fs::is_directory(status) || sameFile(output, image))
            continue;
        plan.existingOutputs.push_back(output);
        names += (names.empty() ? "" : ", ") + fileNameOf(output);
    }
    if (!plan.existingOutputs.empty()) {
        plan.question = std::to_string(plan.existingOutputs.size()) +
                        " file(s) exist and would be replaced: " + names + ". Replace?";
    }
    return plan;
}

void ConvertPlan::answer(bool replace) {
    replaceExisting = replace;
    if (replace || existingOutputs.empty() || refused()) return;
    keptOutputs = existingOutputs;
    std::erase_if(images, [&](const std::string& image) {
        return std::find(keptOutputs.begin(), keptOutputs.end(), Converter::outputNameFor(image)) !=
               keptOutputs.end();
    });
    if (images.empty()) {
        refusal = kAllKept;
        refusalOutcome = ConvertOutcome::AllKept;
    }
}

ConvertSummary Converter::run(const ConvertPlan& plan) {
    summary_ = ConvertSummary{};
    summary_.keptOutputs = plan.keptOutputs;
    stopped_ = false;
    if (plan.refused()) {
        end(plan.refusal, plan.refusalOutcome);
        return summary_;
    }
    for (const std::string& image : plan.images) {
        if (stopping()) break;
        const bool replace = plan.replaceExisting &&
                             std::find(plan.existingOutputs.begin(), plan.existingOutputs.end(),
                                       outputNameFor(image)) != plan.existingOutputs.end();
        if (convertImage(image, replace) == Step::Failed) return summary_;
    }
    if (!stopped_) {
        end(kConverted, ConvertOutcome::Converted);
    } else {
        end(summary_.imagesConverted == 0
                ? std::string("Conversion stopped: no file converted.")
                : "Conversion stopped: " + std::to_string(summary_.imagesConverted) +
                      " file(s) converted.",
            ConvertOutcome::Stopped);
    }
    return summary_;
}

bool Converter::stopping() {
    if (!stopped_) stopped_ = host_.stopRequested();
    return stopped_;
}

void Converter::end(const std::string& message, ConvertOutcome outcome) {
    summary_.outcome = outcome;
    host_.showMessage(message);
}

Converter::Step Converter::convertImage(const std::string& image, bool replaceExisting) {
    const std::string output = outputNameFor(image);

    std::ifstream in;
    ReplacingFile out(output);
    // Ends the run; the image is closed and the unfinished output removed before
    // the message is shown.
    const auto fail = [&](const std::string& message, ConvertOutcome outcome) {
        in.close();
        out.discard();
        end(message, outcome);
        return Step::Failed;
    };
    const auto cannotWrite = [&](const std::error_code& error) {
        return fail(
            "Cannot write the output: " + output + " (" + reasonOf(error, "write error") + ")",
            ConvertOutcome::WriteFailed);
    };
    errno = 0;
    in.open(image, std::ios::binary);
    std::int64_t length = -1;
    if (in) {
        in.seekg(0, std::ios::end);
        length = static_cast<std::int64_t>(in.tellg());
        in.seekg(0, std::ios::beg);
    }
    if (!in || length < 0) {
        const std::error_code error(errno, std::generic_category());
        return fail("Cannot read the image: " + image + " (" + reasonOf(error, "cannot open") + ")",
                    ConvertOutcome::ReadFailed);
    }
    if (length % kSectorSize != 0) return fail(kInvalid, ConvertOutcome::InvalidImage);
    if (sameFile(output, image)) {
        return fail("The output would overwrite the image: " + output,
                    ConvertOutcome::WouldOverwrite);
    }
    // A folder of that name would refuse the finished output: say so before the work.
    std::error_code statusError;
    if (fs::is_directory(fs::symlink_status(fs::path(output), statusError))) {
        return cannotWrite(std::make_error_code(std::errc::is_a_directory));
    }

    host_.showImageName(fileNameOf(image));
    if (const std::error_code error = out.open()) return cannotWrite(error);
    const ExtractResult result = ExtractSubcode(
        in, length, out.stream(),
        [this](const ExtractProgress& progress) {
            host_.showProgress(percentText(progress.sectorsDone, progress.sectorsTotal));
            return !stopping();
        },
        options_);

    if (result.outcome == ExtractOutcome::ReadFailed) {
        return fail("Cannot read the image: " + image + " (" +
                        reasonOf(result.error, "the image ended early") + ")",
                    ConvertOutcome::ReadFailed);
    }
    if (result.outcome == ExtractOutcome::WriteFailed) {
        return cannotWrite(out.error() ? out.error() : result.error);
    }
    // Stopped part way: the destructor removes the unfinished output.
    if (result.outcome != ExtractOutcome::Completed) return Step::Done;
    if (const std::error_code error = out.commit(replaceExisting)) return cannotWrite(error);
    ++summary_.imagesConverted;
    return Step::Done;
}

}  // namespace lyrvox
