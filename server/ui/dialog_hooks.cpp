// See dialog_hooks.h.
#include "server/ui/dialog_hooks.h"

#include "server/ui/form2_port_settings.h"
#include "server/ui/form3_settings.h"

namespace lonvera::ui {

DialogHooks programDialogs()
{
    return {[](Form1 &window) { openSettingsDialog(window); },
            [](Form1 &window, int row) { openPortSettingsDialog(window, row); }};
}

} // namespace lonvera::ui
