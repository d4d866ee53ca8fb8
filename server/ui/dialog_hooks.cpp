// See dialog_hooks.h. The settings dialogs are not built yet: both commands do nothing.
#include "server/ui/dialog_hooks.h"

namespace lonvera::ui {

DialogHooks programDialogs()
{
    return {};
}

} // namespace lonvera::ui
