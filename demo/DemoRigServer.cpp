#include "demo/DemoRig.h"
#include "firmware/DeviceVariant.h"
#include "sim/SampleImage.h"

namespace qor {

std::optional<std::string> TDemoRig::StartServer() {
    for (const TImageVariant variant : {TImageVariant::A, TImageVariant::B}) {
        TImageRecipe recipe{variant, DemoServerVersion, std::nullopt};
        if (auto error = NormaliseRecipe(recipe)) {
            return error;
        }
        Http.Serve(TDeviceVariant::FromLetter(VariantLetterOf(variant))->DownloadPath(),
                   MakeSampleImage(recipe));
    }
    return Http.Start();
}

} // namespace qor
