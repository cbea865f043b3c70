#pragma once
// The Convert command: one image or a numbered series (stem01.bin .. stem99.bin),
// with progress, Stop by a second click and the user's messages. Plain C++: the
// control window implements ConvertHost.
#include <string>

namespace lyrvox {

class ConvertHost {
public:
    virtual ~ConvertHost() = default;
    virtual void ShowMessage(const std::string& text) = 0;         // title "lyrvox", OK only
    virtual void SetConvertCaption(const std::string& text) = 0;   // btnConvert
    virtual void SetFileNameLabel(const std::string& text) = 0;    // lblFName
    virtual void SetProgressLabel(const std::string& text) = 0;    // lblProgress ("000%".."100%")
    virtual void Yield() = 0;                                      // serve the event queue once
};

class Converter {
public:
    explicit Converter(ConvertHost& host) : host_(host) {}

    // A click on Convert with the text of txtSource. While a run is in progress
    // (a nested click from inside its yields) this is the Stop request.
    void btnConvert_Click(const std::string& sourceText);
    bool Converting() const { return Converting_; }

private:
    ConvertHost& host_;
    bool Converting_ = false;
};

}  // namespace lyrvox
