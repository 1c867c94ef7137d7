#include "demo/DemoRig.h"
#include "firmware/DeviceVariant.h"
#include "sim/SampleImage.h"

namespace qor {

TResult<void> TDemoRig::StartServer() {
    for (const TImageVariant variant : {TImageVariant::A, TImageVariant::B}) {
        const auto recipe = NormaliseRecipe({variant, DemoServerVersion, std::nullopt});
        if (!recipe) {
            return Fail(recipe.Error());
        }
        Http.Serve(TDeviceVariant::FromLetter(VariantLetterOf(variant))->DownloadPath(),
                   MakeSampleImage(*recipe));
    }
    return Http.Start();
}

} // namespace qor
