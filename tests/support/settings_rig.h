#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "config/company_profiles.h"
#include "config/settings.h"
#include "config/settings_dialogs.h"
#include "config/settings_file.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// The start-up dialogs as a test scripts them. Unscripted, "Choose Company" is closed
// without a choice and the options dialog changes nothing.
class ScriptedDialogs : public config::SettingsDialogs {
  public:
    void chooseCompany(config::CompanyChooser& chooser) override {
        ++companyDialogs;
        if (onChooseCompany) onChooseCompany(chooser);
    }
    void editOptions(config::Settings& settings, config::OptionsPage page) override {
        optionPages.push_back(page);
        if (onOptions) onOptions(settings, page);
    }

    std::function<void(config::CompanyChooser&)> onChooseCompany;
    std::function<void(config::Settings&, config::OptionsPage)> onOptions;
    int companyDialogs = 0;
    std::vector<config::OptionsPage> optionPages;
};

// A working directory holding the shipped template, the pilot and the dialogs.
struct SettingsRig {
    SettingsRig() { dir.write("aviolog.ori", shippedTemplate()); }

    static std::string shippedTemplate() {
        return readFileBytes(dataPath("aviolog.ori")).value_or("");
    }

    config::LoadOutcome load() { return config::loadSettings(settings, context()); }
    config::SettingsContext context() {
        return {.workDir = dir.path(), .pilot = pilot, .dialogs = dialogs};
    }
    void choosePrivateFlight() {
        dialogs.onChooseCompany = [](config::CompanyChooser& c) { c.privateFlight(); };
    }

    TempDir dir;
    ScriptedPilot pilot;
    ScriptedDialogs dialogs;
    config::Settings settings;
};

}  // namespace aviolog::test
