#pragma once

namespace aviolog::config {

class CompanyChooser;
struct Settings;

enum class OptionsPage { Company, Program };

// The modal dialogs that settings start-up opens. The desktop shell shows them; each call
// returns when its dialog has closed.
class SettingsDialogs {
  public:
    virtual ~SettingsDialogs() = default;
    // "Choose Company": the dialog forwards its buttons to the chooser and closes when the
    // chooser reports a choice, or when the pilot closes it.
    virtual void chooseCompany(CompanyChooser& chooser) = 0;
    // "Aviolog Options", editing the settings record in place.
    virtual void editOptions(Settings& settings, OptionsPage page) = 0;
};

}  // namespace aviolog::config
