// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/rig_models.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace vesk {

namespace {

int addModel(const rig_caps* caps, rig_ptr_t data) {
    auto& models = *static_cast<std::vector<RigModelEntry>*>(data);
    models.push_back(
        {static_cast<int>(caps->rig_model),
         std::to_string(caps->rig_model) + "  " + caps->mfg_name + " " + caps->model_name});
    return 1; // go on
}

std::string lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

std::vector<RigModelEntry> hamlibRigModels() {
    rig_set_debug(RIG_DEBUG_NONE);
    rig_load_all_backends();
    std::vector<RigModelEntry> models;
    rig_list_foreach(addModel, &models);
    std::sort(models.begin(), models.end(),
              [](const RigModelEntry& a, const RigModelEntry& b) { return a.model < b.model; });
    return models;
}

std::vector<RigModelEntry> filterRigModels(const std::vector<RigModelEntry>& models,
                                           const std::string& filter) {
    std::vector<std::string> words;
    std::istringstream in(lowered(filter));
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    std::vector<RigModelEntry> kept;
    for (const RigModelEntry& entry : models) {
        const std::string text = lowered(entry.text);
        if (std::all_of(words.begin(), words.end(), [&text](const std::string& word) {
                return text.find(word) != std::string::npos;
            })) {
            kept.push_back(entry);
        }
    }
    return kept;
}

} // namespace vesk
