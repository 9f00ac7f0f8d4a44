#include "kpictures.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static bool initPictures()
{
    Q_INIT_RESOURCE(vaultkeep_pictures);
    return true;
}

namespace KPictures {

void registerResources()
{
    static const bool registered = initPictures();
    Q_UNUSED(registered)
}

} // namespace KPictures
