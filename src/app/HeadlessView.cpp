#include "app/HeadlessView.h"

namespace halcyra {

void THeadlessView::ApplyStatusControls(const TStatusControls& controls)
{
    if (controls.disableParameters) parametersEnabled_ = false;
}

}  // namespace halcyra
