#include "host/preferences.h"

#include "tarnix/kernel.h"

namespace corvane {

void ApplyPreferenceVisibility() {
    const bool testMode = tarnix::Kernel::IsTestModeOn();
    for (const tarnix::Preferences::Bool* preference :
         {&g_prefRender, &g_prefUseOriginalDataForFlatten, &g_prefUseVertexWeightsForFlatten, &g_prefWaxFillsOnly,
          &g_prefWaxScrapesOnly})
        preference->Attribute()->SetVisible(testMode);
    g_prefLevelFactor.Attribute()->SetVisible(testMode);
}

}  // namespace corvane
