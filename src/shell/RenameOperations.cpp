#include "shell/RenameOperations.h"

#include "maintenance/RenameFiles.h"
#include "shell/frmKelmar.h"
#include "shell/frmReplace.h"

using namespace kelmar;

void registerRenameOperations(frmKelmar& window)
{
    window.registerOperation(QStringLiteral("to_capital_case"),
                             [](BatchHost& host) { to_capital_case(host); });
    window.registerOperation(QStringLiteral("to_lower_case"),
                             [](BatchHost& host) { to_lower_case(host); });
    window.registerOperation(QStringLiteral("to_upper_case"),
                             [](BatchHost& host) { to_upper_case(host); });
    window.registerOperation(QStringLiteral("insert_spaces"),
                             [](BatchHost& host) { insert_spaces(host); });
    window.registerOperation(QStringLiteral("remove_spaces"),
                             [](BatchHost& host) { remove_spaces(host); });
    window.registerOperation(QStringLiteral("to_manual_name"),
                             [](BatchHost& host) { to_manual_name(host); });
    window.registerOperation(QStringLiteral("find_and_replace"), [&window](BatchHost& host) {
        // The dialog asks on the window's thread; the renames run here, off it.
        if (const auto texts = frmReplace::ask(&window))
            find_and_replace(host, texts->find, texts->replace);
    });
}
