// SPDX-License-Identifier: MIT
// Template expansion over arbitrary text, with and without a variable whose value holds a reference.
#include <cstdint>
#include <string>

#include <QtGlobal>

#include <cstddef>

#include "templateexpansion.h"

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;
    const std::string text(reinterpret_cast<const char*>(data), size);
    expandTemplate(text, {{"EQU", "="}, {"SMC", ";"}});
    // The first bytes pick a value for a variable named X, which may itself hold references.
    const std::size_t split = size > 0 ? data[0] % 16 : 0;
    if (split < size)
        expandTemplate(text.substr(split), {{"X", text.substr(1, split)}});
    return 0;
}
