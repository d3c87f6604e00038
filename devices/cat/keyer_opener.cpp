// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/keyer_opener.h"

#include "devices/cat/cat_keyer.h"
#include "devices/lines_keyer.h"

namespace vesk {

KeyerOpener keyerOpener(std::shared_ptr<platform::SerialLines> lines) {
    return [lines = std::move(lines)](const PttChoice& choice,
                                      std::int32_t comport) -> Result<std::unique_ptr<Keyer>> {
        if (choice.usesCat()) {
            return openCatKeyer(choice.rig);
        }
        return openLinesKeyer(lines, comport, choice.lines);
    };
}

} // namespace vesk
