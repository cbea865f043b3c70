#include "extract/converter.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "util/text_helpers.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;

const char kNotFound[] = "File not found!";
const char kInvalid[] = "Not a valid CDRWin CD+G file!";
const char kConverted[] = "File(s) converted!";

// Percentage of sectors done, rounded half to even, at least three digits.
std::string percentText(std::int64_t done, std::int64_t total) {
    std::int64_t percent = 100;
    if (total > 0) {
        const std::int64_t numerator = done * 100;  // total < 2^63 / 2448, no overflow
        percent = numerator / total;
        const std::int64_t twiceRest = 2 * (numerator % total);
        if (twiceRest > total || (twiceRest == total && percent % 2 != 0)) ++percent;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03lld%%", static_cast<long long>(percent));
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

std::string Converter::OutputNameFor(const std::string& imagePath) {
    return StripExtension(imagePath) + ".cdg";
}

bool Converter::IsSingleImage(const std::string& sourceText) {
    // FolderOf leaves a lone leading separator on the name; it holds no full stop.
    return sourceText.find('.', FolderOf(sourceText).size()) != std::string::npos;
}

void Converter::btnConvert_Click(const std::string& sourceText) {
    if (Converting_) {
        Converting_ = false;  // the run notices at its next check
        return;
    }
    // A click after Stop, while the stopped run is still winding down: starting a
    // second run inside the first would have both writing the same files.
    if (running_) return;

    try {
        runCommand(sourceText);
    } catch (...) {
        // Whatever went wrong, the button must work again afterwards.
        Converting_ = false;
        running_ = false;
        host_.SetConvertCaption("Convert");
        throw;
    }
}

void Converter::runCommand(const std::string& sourceText) {
    const std::string source = sourceText;
    summary_ = ConvertSummary{};
    if (IsSingleImage(source)) {
        // Taken literally (no wildcards), in any letter case.
        const auto image = findFileIgnoreCase(source);
        if (!image) {
            summary_.outcome = ConvertOutcome::NotFound;
            host_.ShowMessage(kNotFound);
            return;
        }
        startRun();
        if (!ConvertImage(*image)) return;
    } else {
        startRun();
        for (int n = 1; n <= 99; ++n) {
            char number[3];
            std::snprintf(number, sizeof number, "%02d", n);
            if (const auto member = findFileIgnoreCase(source + number + ".bin")) {
                if (!ConvertImage(*member)) return;
            }
            if (!Converting_) break;
        }
    }
    endRun(kConverted, Converting_ ? ConvertOutcome::Converted : ConvertOutcome::Stopped);
}

void Converter::startRun() {
    Converting_ = true;
    running_ = true;
    host_.SetConvertCaption("Stop");
    host_.Yield();
}

void Converter::endRun(const std::string& message, ConvertOutcome outcome) {
    summary_.outcome = outcome;
    host_.ShowMessage(message);
    host_.SetProgressLabel("");
    host_.SetFileNameLabel("");
    host_.SetConvertCaption("Convert");
    Converting_ = false;
    running_ = false;
}

bool Converter::ConvertImage(const std::string& image) {
    const std::string output = OutputNameFor(image);

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

    host_.SetFileNameLabel(FileNameOf(image));
    // Stop came before this image began: leave any earlier output of this name
    // alone instead of replacing it with an empty file.
    if (!Converting_) return true;

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
            host_.SetProgressLabel(percentText(progress.sectorsDone, progress.sectorsTotal));
            host_.Yield();
            return Converting_;
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
