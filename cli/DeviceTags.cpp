#include "cli/DeviceTags.h"

namespace qor::cli {

TJsonObject DeviceTags(const std::string& port, const std::string& serial) {
    TJsonObject tags;
    tags.Add("port", port);
    if (serial.empty()) {
        tags.AddNull("serial");
    } else {
        tags.Add("serial", serial);
    }
    return tags;
}

void TTaggedReporter::Event(const TEvent& event) {
    TEvent tagged = event;
    tagged.Fields = TJsonObject(Tags).Merge(event.Fields);
    Out.Event(tagged);
}

void TTaggedReporter::Progress(const TProgress& progress) {
    TProgress tagged = progress;
    tagged.Fields = TJsonObject(Tags).Merge(progress.Fields);
    Out.Progress(tagged);
}

} // namespace qor::cli
