#include "options/sheet_lookup.h"

#include "shell/settings.h"

namespace velmor {

std::optional<SheetHost::Sheet> currentSheetMarker() {
    const auto number = settings::toNumber(settings::read(
        QStringLiteral("pageencours"), QStringLiteral("pgcours"), QStringLiteral("page")));
    if (!number)
        return std::nullopt;
    if (*number == 0)
        return SheetHost::Sheet::Return;
    if (*number == 1)
        return SheetHost::Sheet::Loan;
    return std::nullopt;
}

} // namespace velmor
