#include "firmware/DeviceVariant.h"
#include "sim/SampleImage.h"
#include "sim/demo/DemoRig.h"

namespace qor {

class TDemoHttp : public TFirmwareServer {};

void TDemoHttpDeleter::operator()(TDemoHttp* http) const {
    std::default_delete<TDemoHttp>{}(http);
}

std::optional<std::string> TDemoRig::StartServer() {
    if (!Http) {
        Http.reset(new TDemoHttp());
    }
    for (const TImageVariant variant : {TImageVariant::A, TImageVariant::B}) {
        TImageRecipe recipe{variant, DemoServerVersion, std::nullopt};
        if (auto error = NormaliseRecipe(recipe)) {
            return error;
        }
        Http->Serve(TDeviceVariant::FromLetter(VariantLetterOf(variant))->DownloadPath(),
                    MakeSampleImage(recipe));
    }
    return Http->Start();
}

bool TDemoRig::ServerRunning() const {
    return Http && Http->Running();
}

std::uint16_t TDemoRig::ServerPort() const {
    return Http ? Http->Port() : 0;
}

std::vector<TServedRequest> TDemoRig::TakeServedRequests() {
    return Http ? Http->TakeLog() : std::vector<TServedRequest>{};
}

} // namespace qor
