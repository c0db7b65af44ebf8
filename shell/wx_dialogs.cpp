#include "shell/wx_dialogs.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/propgrid/advprops.h>
#include <wx/propgrid/manager.h>
#include <wx/propgrid/props.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <array>

#include "common/decimal_value.h"
#include "config/company_profiles.h"
#include "config/options_items.h"
#include "config/settings_file.h"
#include "mail/bug_report.h"
#include "mail/mail_configuration.h"
#include "planning/weather.h"
#include "shell/browser_module.h"
#include "shell/wx_platform.h"
#include "shell/wx_text.h"

namespace aviolog::shell {

inline constexpr const char* kVersionText = "Version: 4.0.10";

wxIcon programIcon(int sizePx) {
    wxBitmap bitmap(sizePx, sizePx);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(wxBrush(wxColour(16, 48, 112)));
        dc.Clear();
        dc.SetTextForeground(*wxWHITE);
        wxFont font(wxFontInfo(sizePx * 2 / 3).Bold());
        dc.SetFont(font);
        const wxSize text = dc.GetTextExtent("A");
        dc.DrawText("A", (sizePx - text.x) / 2, (sizePx - text.y) / 2);
    }
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    return icon;
}

namespace {

// OK and Cancel under the content, as every small dialog has them.
void finish(wxDialog& dialog, wxSizer* content, long buttons = wxOK | wxCANCEL) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(content, 1, wxEXPAND | wxALL, 10);
    if (buttons != 0) {
        top->Add(dialog.CreateButtonSizer(buttons), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    }
    dialog.SetSizerAndFit(top);
    dialog.CentreOnParent();
}

// ---- "Choose Company" ----

class ChooseCompanyDialog final : public wxDialog {
  public:
    ChooseCompanyDialog(wxWindow* parent, config::CompanyChooser& chooser)
        : wxDialog(parent, wxID_ANY, "Choose Company"), chooser_(chooser) {
        auto* content = new wxBoxSizer(wxVERTICAL);
        content->Add(new wxStaticText(this, wxID_ANY, "Companies with configuration"));
        list_ = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxSize(FromDIP(260), -1));
        content->Add(list_, 0, wxEXPAND | wxTOP | wxBOTTOM, 5);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        auto* newCompany = new wxButton(this, wxID_ANY, "New Company");
        auto* choose = new wxButton(this, wxID_ANY, "Choose Selected Company");
        auto* privateFlight = new wxButton(this, wxID_ANY, "Private Flight");
        for (wxButton* b : {newCompany, choose, privateFlight}) buttons->Add(b, 0, wxRIGHT, 5);
        content->Add(buttons);
        choose->SetDefault();
        finish(*this, content, 0);
        fill();

        list_->Bind(wxEVT_CHOICE,
                    [this](wxCommandEvent&) { chooser_.select(list_->GetSelection()); });
        newCompany->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            chooser_.newCompany();
            fill();
        });
        choose->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            if (chooser_.chooseSelected()) EndModal(wxID_OK);
        });
        privateFlight->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            chooser_.privateFlight();
            EndModal(wxID_OK);
        });
    }

  private:
    void fill() {
        list_->Clear();
        for (const config::CompanyEntry& e : chooser_.entries()) list_->Append(wx(e.text));
        if (chooser_.selected() >= 0) list_->SetSelection(chooser_.selected());
    }

    config::CompanyChooser& chooser_;
    wxChoice* list_;
};

// ---- "Aviolog Options" ----

// A button item: the pilot's chooser sets the value.
class ChooserProperty final : public wxLongStringProperty {
  public:
    ChooserProperty(const config::OptionItem& item, const wxString& name,
                    std::function<std::optional<std::string>()> choose)
        : wxLongStringProperty(wx(item.label), name), choose_(std::move(choose)) {}

  protected:
    bool DisplayEditorDialog(wxPropertyGrid*, wxVariant& value) override {
        const auto chosen = choose_();
        if (!chosen) return false;
        value = wx(*chosen);
        return true;
    }

  private:
    std::function<std::optional<std::string>()> choose_;
};

class OptionsDialog final : public wxDialog {
  public:
    OptionsDialog(wxWindow* parent, config::Settings& settings, config::OptionsPage page,
                  const std::filesystem::path& workDir, WxPilot& pilot, WxDialogs& dialogs)
        : wxDialog(parent, wxID_ANY, config::kOptionsTitle, wxDefaultPosition, wxDefaultSize,
                   wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
          settings_(settings),
          workDir_(workDir),
          pilot_(pilot),
          dialogs_(dialogs) {
        grid_ = new wxPropertyGridManager(this, wxID_ANY, wxDefaultPosition,
                                          wxSize(FromDIP(560), FromDIP(520)),
                                          wxPG_SPLITTER_AUTO_CENTER | wxPG_DESCRIPTION);
        // One list: the company's categories, then the program's; the page asked for is
        // scrolled into view.
        wxPropertyGridPage* target = grid_->AddPage();
        wxPGProperty* first = nullptr;
        for (const config::OptionCategory& category : config::optionCategories()) {
            wxPGProperty* cat = target->Append(new wxPropertyCategory(wx(category.name)));
            cat->SetHelpString(wx(category.help));
            if (first == nullptr && category.page == page) first = cat;
            for (const config::OptionItem& item : category.items) {
                wxPGProperty* p = target->AppendIn(cat, propertyFor(item));
                p->SetHelpString(wx(item.help));
                p->SetClientData(const_cast<config::OptionItem*>(&item));
                if (item.maxChars != 0) p->SetMaxLength(static_cast<int>(item.maxChars));
                refresh(p);
            }
        }
        grid_->SelectPage(0);
        grid_->Bind(wxEVT_PG_CHANGED, &OptionsDialog::onChanged, this);

        auto* top = new wxBoxSizer(wxVERTICAL);
        top->Add(grid_, 1, wxEXPAND | wxALL, 5);
        auto* close = new wxButton(this, wxID_CANCEL, "Close");
        close->SetDefault();
        top->Add(close, 0, wxALIGN_RIGHT | wxALL, 5);
        SetSizerAndFit(top);
        SetEscapeId(wxID_CANCEL);
        CentreOnParent();
        if (first != nullptr && page == config::OptionsPage::Program) {
            wxPropertyGrid* list = grid_->GetGrid();
            list->Scroll(0, list->GetPropertyRect(first, first).y / list->GetRowHeight());
        }
    }

  private:
    wxPGProperty* propertyFor(const config::OptionItem& item) {
        const wxString label = wx(item.label);
        // Labels repeat across categories ("Password", "Duration"); the key does not.
        const wxString name =
            wxString(item.section != nullptr ? item.section : "memory") + "/" + item.key;
        switch (item.kind) {
            case config::OptionKind::Checkbox: {
                auto* p = new wxBoolProperty(label, name);
                p->SetAttribute(wxPG_BOOL_USE_CHECKBOX, true);
                return p;
            }
            case config::OptionKind::EditList: {
                wxArrayString choices;
                for (const char* c : item.choices) choices.Add(wx(c));
                return new wxEditEnumProperty(label, name, choices);
            }
            case config::OptionKind::Button:
                return new ChooserProperty(item, name, [this, &item] { return choose(item); });
            case config::OptionKind::Edit:
            case config::OptionKind::SliderEdit:
                break;
        }
        return new wxStringProperty(label, name);
    }

    // The chooser of a button item; the answer is the value to store.
    std::optional<std::string> choose(const config::OptionItem& item) {
        using config::OptionChooser;
        switch (item.chooser) {
            case OptionChooser::Folder:
            case OptionChooser::ServinfoFolder: {
                const auto folder = pilot_.chooseFolder(item.chooserText);
                if (!folder) return std::nullopt;
                return config::folderOptionValue(item, *folder);
            }
            case OptionChooser::SoundFile:
            case OptionChooser::SaveFile: {
                const platform::FileRequest request{item.chooserText, item.defaultExtension,
                                                    item.get(settings_), ".\\"};
                const auto file = item.chooser == OptionChooser::SoundFile
                                      ? pilot_.chooseFileToOpen(request)
                                      : pilot_.chooseFileToSave(request);
                if (!file) return std::nullopt;
                return file->string();
            }
            case OptionChooser::GaugeAddress:
                if (!dialogs_.gaugeAddress(settings_)) return std::nullopt;
                return item.get(settings_);
            case OptionChooser::None:
                break;
        }
        return std::nullopt;
    }

    static const config::OptionItem& itemOf(wxPGProperty* p) {
        return *static_cast<const config::OptionItem*>(p->GetClientData());
    }

    // Shows the value as the record now holds it, translations applied.
    void refresh(wxPGProperty* p) {
        const config::OptionItem& item = itemOf(p);
        const std::string value = item.get(settings_);
        if (item.kind == config::OptionKind::Checkbox) {
            p->SetValue(wxVariant(value == "1"));
        } else {
            p->SetValue(wxVariant(wx(value)));
        }
    }

    void onChanged(wxPropertyGridEvent& event) {
        wxPGProperty* p = event.GetProperty();
        if (p == nullptr || p->GetClientData() == nullptr) return;
        const config::OptionItem& item = itemOf(p);
        const std::string text = item.kind == config::OptionKind::Checkbox
                                     ? (p->GetValue().GetBool() ? "1" : "0")
                                     : cp1252(p->GetValueAsString());
        if (const auto refused = config::setOption(settings_, item, text, workDir_)) {
            pilot_.warn(*refused);
        } else if (item.key != nullptr && std::string_view(item.key) == "Provider") {
            // A service whose address cannot be sent whole is said so when it is chosen.
            if (const auto cut = planning::metarAddressWarning(settings_)) pilot_.warn(*cut);
        }
        refresh(p);
    }

    config::Settings& settings_;
    std::filesystem::path workDir_;
    WxPilot& pilot_;
    WxDialogs& dialogs_;
    wxPropertyGridManager* grid_;
};

// ---- Mail "Configuration" ----

class MailConfigurationDialog final : public wxDialog {
  public:
    MailConfigurationDialog(wxWindow* parent, mail::MailConfiguration& form, WxPilot& pilot)
        : wxDialog(parent, wxID_ANY, "Configuration"), form_(form), pilot_(pilot) {
        auto* content = new wxBoxSizer(wxVERTICAL);
        auto* sender = new wxStaticBoxSizer(wxVERTICAL, this, "Sender");
        auto* senderGrid = new wxFlexGridSizer(2, 5, 5);
        senderGrid->AddGrowableCol(1);
        name_ = field(sender, senderGrid, "Name", form.name);
        address_ = field(sender, senderGrid, "EMail", form.address);
        senderGrid->Add(new wxStaticText(sender->GetStaticBox(), wxID_ANY, "Authentication Method"),
                        0, wxALIGN_CENTER_VERTICAL);
        auth_ = new wxChoice(sender->GetStaticBox(), wxID_ANY);
        for (const char* c : mail::kAuthenticationChoices) auth_->Append(wx(c));
        auth_->SetSelection(std::clamp(form.authentication, 0, 3));
        senderGrid->Add(auth_, 1, wxEXPAND);
        username_ = field(sender, senderGrid, "Username", form.username);
        password_ = field(sender, senderGrid, "Password", form.password, wxTE_PASSWORD);
        sender->Add(senderGrid, 1, wxEXPAND | wxALL, 5);
        content->Add(sender, 0, wxEXPAND);

        auto* server = new wxStaticBoxSizer(wxVERTICAL, this, "Server");
        auto* serverGrid = new wxFlexGridSizer(2, 5, 5);
        serverGrid->AddGrowableCol(1);
        host_ = field(server, serverGrid, "Outgoing Mail server (SMTP):", form.host);
        port_ = field(server, serverGrid, "Port Number", std::to_string(form.port));
        server->Add(serverGrid, 1, wxEXPAND | wxALL, 5);
        content->Add(server, 0, wxEXPAND | wxTOP, 10);
        finish(*this, content);
        Bind(wxEVT_BUTTON, &MailConfigurationDialog::onOk, this, wxID_OK);
    }

  private:
    wxTextCtrl* field(wxStaticBoxSizer* box, wxFlexGridSizer* grid, const char* label,
                      const std::string& value, long style = 0) {
        grid->Add(new wxStaticText(box->GetStaticBox(), wxID_ANY, label), 0,
                  wxALIGN_CENTER_VERTICAL);
        auto* text = new wxTextCtrl(box->GetStaticBox(), wxID_ANY, wx(value), wxDefaultPosition,
                                    wxSize(FromDIP(220), -1), style);
        text->SetMaxLength(49);
        grid->Add(text, 1, wxEXPAND);
        return text;
    }

    void onOk(wxCommandEvent&) {
        mail::MailConfiguration edited = form_;
        edited.name = cp1252(name_->GetValue());
        edited.address = cp1252(address_->GetValue());
        edited.authentication = auth_->GetSelection();
        edited.username = cp1252(username_->GetValue());
        edited.password = cp1252(password_->GetValue());
        edited.host = cp1252(host_->GetValue());
        edited.port = decimalValue(cp1252(port_->GetValue()));
        switch (edited.ok(pilot_)) {
            case mail::ConfigurationField::None:
                form_ = edited;
                EndModal(wxID_OK);
                return;
            case mail::ConfigurationField::Address:
                address_->SetFocus();
                return;
            case mail::ConfigurationField::Host:
                host_->SetFocus();
                return;
            case mail::ConfigurationField::Username:
                username_->SetFocus();
                return;
            case mail::ConfigurationField::Port:
                port_->SetFocus();
                return;
        }
    }

    mail::MailConfiguration& form_;
    WxPilot& pilot_;
    wxTextCtrl* name_;
    wxTextCtrl* address_;
    wxChoice* auth_;
    wxTextCtrl* username_;
    wxTextCtrl* password_;
    wxTextCtrl* host_;
    wxTextCtrl* port_;
};

}  // namespace

void WxDialogs::chooseCompany(config::CompanyChooser& chooser) {
    ChooseCompanyDialog dialog(parent_, chooser);
    dialog.ShowModal();
}

void WxDialogs::editOptions(config::Settings& settings, config::OptionsPage page) {
    OptionsDialog dialog(parent_, settings, page, workDir_, pilot_, *this);
    dialog.ShowModal();
}

bool WxDialogs::configure(mail::MailConfiguration& form) {
    MailConfigurationDialog dialog(parent_, form, pilot_);
    return dialog.ShowModal() == wxID_OK;
}

std::optional<std::string> WxDialogs::sendLogParameters(const std::string& pilotNumber) {
    wxDialog dialog(parent_, wxID_ANY, "Send Log Parameters");
    auto* content = new wxBoxSizer(wxHORIZONTAL);
    content->Add(new wxStaticText(&dialog, wxID_ANY, "Pilot Number:"), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    auto* number = new wxTextCtrl(&dialog, wxID_ANY, wx(pilotNumber));
    number->SetMaxLength(9);
    content->Add(number, 1);
    finish(dialog, content);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return cp1252(number->GetValue());
}

bool WxDialogs::browse(const std::string& url) {
    wxDialog dialog(parent_, wxID_ANY, "Browser", wxDefaultPosition, wxDefaultSize,
                    wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    const auto page = browser_.newPage(&dialog, wx(url));
    if (!page) {
        pilot_.warn(cp1252(browser_.error()));
        return false;
    }
    page->window()->SetMinSize(dialog.FromDIP(wxSize(800, 560)));
    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(page->window(), 1, wxEXPAND);
    finish(dialog, content);
    return dialog.ShowModal() == wxID_OK;
}

bool WxDialogs::gaugeAddress(config::Settings& settings) {
    wxDialog dialog(parent_, wxID_ANY, "Gauge IP");
    auto* content = new wxBoxSizer(wxHORIZONTAL);
    content->Add(new wxStaticText(&dialog, wxID_ANY, "Gauge IP address:"), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    auto* address = new wxTextCtrl(&dialog, wxID_ANY, wx(config::gaugeAddressShown(settings)));
    address->SetMaxLength(15);
    content->Add(address, 1);
    finish(dialog, content);
    while (dialog.ShowModal() == wxID_OK) {
        std::array<std::uint8_t, 4> bytes{};
        int parts = 0;
        bool valid = true;
        for (const wxString& part : wxSplit(address->GetValue(), '.')) {
            long n = -1;
            if (parts >= 4 || part.empty() || !part.ToLong(&n) || n < 0 || n > 255) valid = false;
            if (valid) bytes[parts] = static_cast<std::uint8_t>(n);
            ++parts;
        }
        if (valid && parts == 4) return config::storeGaugeAddress(settings, workDir_, bytes);
        pilot_.warn("Please enter an address of four numbers from 0 to 255, such as 127.0.0.1");
    }
    return false;
}

void WxDialogs::about() {
    wxDialog dialog(parent_, wxID_ANY, "About Aviolog");
    auto* content = new wxBoxSizer(wxHORIZONTAL);
    wxBitmap icon;
    icon.CopyFromIcon(programIcon(dialog.FromDIP(32)));
    content->Add(new wxStaticBitmap(&dialog, wxID_ANY, icon), 0, wxRIGHT, 10);
    content->Add(new wxStaticText(&dialog, wxID_ANY, kVersionText), 0, wxALIGN_CENTER_VERTICAL);
    finish(dialog, content, wxOK);
    dialog.ShowModal();
}

std::optional<std::string> WxDialogs::bugReport() {
    wxDialog dialog(parent_, wxID_ANY, mail::kBugReportTitle, wxDefaultPosition, wxDefaultSize,
                    wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* content = new wxBoxSizer(wxVERTICAL);
    for (const char* line :
         {mail::kBugReportExplanation, mail::kBugReportExposure, mail::kBugReportPurpose}) {
        auto* text = new wxStaticText(&dialog, wxID_ANY, wx(line));
        text->Wrap(dialog.FromDIP(480));
        content->Add(text, 0, wxBOTTOM, 5);
    }
    content->Add(new wxStaticText(&dialog, wxID_ANY, "Bug description"), 0, wxTOP, 5);
    auto* description = new wxTextCtrl(&dialog, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                       dialog.FromDIP(wxSize(480, 200)), wxTE_MULTILINE);
    // GTK keeps no length limit on a multi-line control (wx asserts if asked): the report
    // itself is cut to its maximum when it is made.
    content->Add(description, 1, wxEXPAND);
    finish(dialog, content);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return cp1252(description->GetValue());
}

}  // namespace aviolog::shell
