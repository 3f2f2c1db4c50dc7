#include "sheets/outstanding_threshold.h"

#include "shell/settings.h"

namespace velmor::outstanding {

namespace {
const QString optionApp = QStringLiteral("option");
const QString key = QStringLiteral("joursencours");
} // namespace

int threshold() {
    const std::optional<float> days = settings::toNumber(
        settings::read(optionApp, optionApp, key, settings::fromInt(defaultThreshold)));
    return days && *days >= 0 ? int(*days) : defaultThreshold;
}

void saveThreshold(int days) {
    settings::save(optionApp, optionApp, key, settings::fromInt(days));
}

} // namespace velmor::outstanding
