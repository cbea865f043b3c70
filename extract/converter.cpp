#include "extract/converter.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "util/rounding.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;

const char kNotFound[] = "File not found!";
const char kInvalid[] = "Not a valid CDRWin CD+G file!";
const char kConverted[] = "File(s) converted!";

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

bool Converter::isSingleImage(const std::string& sourceText) {
    // FolderOf leaves a lone leading separator on the name; it holds no full stop.
    return sourceText.find('.', folderOf(sourceText).size()) != std::string::npos;
}

void Converter::convertOrStop(const std::string& sourceText) {
    if (converting_) {
        converting_ = false;  // the run notices at its next check
        return;
    }
    // A click after Stop, while the stopped run is still winding down: starting a
    // second run inside the first would have both writing the same files.
    if (running_) return;

    try {
        runCommand(sourceText);
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
    if (isSingleImage(source)) {
        // Taken literally (no wildcards), in any letter case.
        const auto image = findFileIgnoreCase(source);
        if (!image) {
            summary_.outcome = ConvertOutcome::NotFound;
            host_.showMessage(kNotFound);
            return;
        }
        startRun();
        if (!convertImage(*image)) return;
    } else {
        startRun();
        for (int n = 1; n <= 99; ++n) {
            char number[3];
            std::snprintf(number, sizeof number, "%02d", n);
            if (const auto member = findFileIgnoreCase(source + number + ".bin")) {
                if (!convertImage(*member)) return;
            }
            if (!converting_) break;
        }
    }
    endRun(kConverted, converting_ ? ConvertOutcome::Converted : ConvertOutcome::Stopped);
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

bool Converter::convertImage(const std::string& image) {
    const std::string output = outputNameFor(image);

    std::ifstream in;
    std::ofstream out;
    // Ends the run; both files are closed before the message box goes up.
    const auto fail = [&](const std::string& message, ConvertOutcome outcome) {
        in.close();
        if (out.is_open()) out.close();
        endRun(message, outcome);
        return false;
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

    host_.showImageName(fileNameOf(image));
    // Stop came before this image began: leave any earlier output of this name
    // alone instead of replacing it with an empty file.
    if (!converting_) return true;

    errno = 0;
    out.open(output, std::ios::binary | std::ios::trunc);
    if (!out) {
        const std::error_code error(errno, std::generic_category());
        return fail(
            "Cannot write the output: " + output + " (" + reasonOf(error, "cannot create") + ")",
            ConvertOutcome::WriteFailed);
    }

    const ExtractResult result = ExtractSubcode(
        in, length, out,
        [this](const ExtractProgress& progress) {
            host_.showProgress(percentText(progress.sectorsDone, progress.sectorsTotal));
            host_.serveEvents();
            return converting_;
        },
        options_);

    std::error_code closeError;
    if (result.outcome == ExtractOutcome::Completed || result.outcome == ExtractOutcome::Stopped) {
        errno = 0;
        out.close();
        if (out.fail()) closeError = std::error_code(errno, std::generic_category());
    }
    const bool writeFailed = result.outcome == ExtractOutcome::WriteFailed || out.fail();
    const bool readFailed = result.outcome == ExtractOutcome::ReadFailed;
    if (writeFailed || readFailed) {
        // Whatever is on disk is cut short at an arbitrary point: do not leave it
        // looking like a finished conversion.
        out.close();
        std::error_code ignored;
        fs::remove(fs::path(output), ignored);
        if (readFailed) {
            return fail("Cannot read the image: " + image + " (" +
                            reasonOf(result.error, "the image ended early") + ")",
                        ConvertOutcome::ReadFailed);
        }
        const std::error_code error = result.error ? result.error : closeError;
        return fail(
            "Cannot write the output: " + output + " (" + reasonOf(error, "write error") + ")",
            ConvertOutcome::WriteFailed);
    }
    if (result.outcome == ExtractOutcome::Completed) ++summary_.imagesConverted;
    return true;
}

}  // namespace lyrvox
