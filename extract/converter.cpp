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

void Converter::convertOrStop(const std::string& sourceText) {
    if (converting_) {
        converting_ = false;  // the run notices at its next check
        return;
    }
    // A click after Stop, while the stopped run is still winding down: starting a
    // second run inside the first would have both writing the same files.
    if (running_) return;

    running_ = true;  // from here on, so that a click while the question is open is ignored
    try {
        runCommand(sourceText);
        running_ = false;
    } catch (...) {
        // Whatever went wrong, the button must work again afterwards.
        converting_ = false;
        running_ = false;
        host_.setConverting(false);
        throw;
    }
}

void Converter::runCommand(const std::string& sourceText) {
    const std::string source = sourceText;
    summary_ = ConvertSummary{};
    const auto refuse = [&](const std::string& message, ConvertOutcome outcome) {
        summary_.outcome = outcome;
        host_.showMessage(message);
    };
    if (source.empty()) return refuse(kChooseFirst, ConvertOutcome::NothingChosen);

    // Taken literally (no wildcards), in any letter case.
    std::vector<std::string> images;
    if (auto image = singleImage(source)) {
        images.push_back(std::move(*image));
    } else {
        for (int n = 1; n <= 99; ++n) {
            char number[3];
            std::snprintf(number, sizeof number, "%02d", n);
            if (auto member = findFileIgnoreCase(source + number + ".bin"))
                images.push_back(std::move(*member));
        }
    }
    if (images.empty()) {
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
    std::vector<std::string> existing;
    std::string names;
    for (const std::string& image : images) {
        const std::string output = outputNameFor(image);
        std::error_code error;
        const fs::file_status status = fs::symlink_status(fs::path(output), error);
        if (error || !fs::exists(status) || fs::is_directory(status) || sameFile(output, image))
            continue;
        existing.push_back(output);
        names += (names.empty() ? "" : ", ") + fileNameOf(output);
    }
    const auto isExisting = [&](const std::string& image) {
        return std::find(existing.begin(), existing.end(), outputNameFor(image)) != existing.end();
    };
    bool replace = false;
    if (!existing.empty()) {
        replace = host_.askReplace(std::to_string(existing.size()) +
                                   " file(s) exist and would be replaced: " + names + ". Replace?");
        if (!replace) {
            summary_.keptOutputs = existing;
            std::erase_if(images, isExisting);
            if (images.empty()) return refuse(kAllKept, ConvertOutcome::AllKept);
        }
    }

    startRun();
    for (const std::string& image : images) {
        if (!converting_) break;
        if (!convertImage(image, replace && isExisting(image))) return;
    }
    if (converting_) return endRun(kConverted, ConvertOutcome::Converted);
    endRun(summary_.imagesConverted == 0
               ? std::string("Conversion stopped: no file converted.")
               : "Conversion stopped: " + std::to_string(summary_.imagesConverted) +
                     " file(s) converted.",
           ConvertOutcome::Stopped);
}

void Converter::startRun() {
    converting_ = true;
    running_ = true;
    host_.setConverting(true);
    host_.serveEvents();
}

void Converter::endRun(const std::string& message, ConvertOutcome outcome) {
    summary_.outcome = outcome;
    host_.showMessage(message);
    host_.showProgress("");
    host_.showImageName("");
    host_.setConverting(false);
    converting_ = false;
    running_ = false;
}

bool Converter::convertImage(const std::string& image, bool replaceExisting) {
    const std::string output = outputNameFor(image);

    std::ifstream in;
    ReplacingFile out(output);
    // Ends the run; the image is closed and the unfinished output removed before
    // the message box goes up.
    const auto fail = [&](const std::string& message, ConvertOutcome outcome) {
        in.close();
        out.discard();
        endRun(message, outcome);
        return false;
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
    // Stop came before this image began.
    if (!converting_) return true;

    if (const std::error_code error = out.open()) return cannotWrite(error);
    const ExtractResult result = ExtractSubcode(
        in, length, out.stream(),
        [this](const ExtractProgress& progress) {
            host_.showProgress(percentText(progress.sectorsDone, progress.sectorsTotal));
            host_.serveEvents();
            return converting_;
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
    if (result.outcome != ExtractOutcome::Completed) return true;
    if (const std::error_code error = out.commit(replaceExisting)) return cannotWrite(error);
    ++summary_.imagesConverted;
    return true;
}

}  // namespace lyrvox
