#include "model/main_window_model.h"

#include <algorithm>

namespace aviolog::model {

void PropertyList::add(std::string_view category, std::string name, std::string value) {
    auto it = std::find_if(categories_.begin(), categories_.end(),
                           [&](const PropertyCategory& c) { return c.caption == category; });
    if (it == categories_.end()) {
        categories_.push_back({std::string(category), {}});
        it = categories_.end() - 1;
    }
    it->rows.push_back({std::move(name), std::move(value)});
}

void PropertyList::clear(std::string_view category) {
    for (PropertyCategory& c : categories_) {
        if (c.caption == category) c.rows.clear();
    }
}

const std::vector<PropertyRow>* PropertyList::rows(std::string_view category) const {
    for (const PropertyCategory& c : categories_) {
        if (c.caption == category) return &c.rows;
    }
    return nullptr;
}

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

PropertyRow logViewRow(std::string_view line) {
    constexpr std::size_t kTimeChars = 5;
    constexpr std::size_t kTextStart = 7;
    const bool timed = line.size() >= kTimeChars && isDigit(line[0]) && isDigit(line[1]) &&
                       line[2] == ':' && isDigit(line[3]) && isDigit(line[4]);
    if (!timed) return {"", std::string(line)};
    return {std::string(line.substr(0, kTimeChars)),
            line.size() > kTextStart ? std::string(line.substr(kTextStart)) : std::string()};
}

MainWindowModel::MainWindowModel() {
    controls_[static_cast<int>(Control::StartLog)] = {true, false};
    controls_[static_cast<int>(Control::StartLogDump)] = {true, true};
}

void MainWindowModel::appendDisplay(Channel channel, std::string_view text) {
    std::vector<std::string>& store = channel == Channel::Log ? logLines_ : acarsLines_;
    std::size_t begin = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos;
         end = text.find('\n', begin)) {
        store.emplace_back(text.substr(begin, end - begin));
        for (MainWindowObserver* o : observers_) o->lineAdded(channel, store.back());
        begin = end + 1;
    }
}

void MainWindowModel::clear(Channel channel) {
    replaceLines(channel, {});
}

void MainWindowModel::replaceLines(Channel channel, std::vector<std::string> lines) {
    (channel == Channel::Log ? logLines_ : acarsLines_) = std::move(lines);
    for (MainWindowObserver* o : observers_) o->linesReplaced(channel);
}

const std::vector<std::string>& MainWindowModel::lines(Channel channel) const {
    return channel == Channel::Log ? logLines_ : acarsLines_;
}

void MainWindowModel::show(Control c, bool shown) {
    controls_[static_cast<int>(c)].shown = shown;
    controlsChanged();
}

void MainWindowModel::enable(Control c, bool enabled) {
    controls_[static_cast<int>(c)].enabled = enabled;
    controlsChanged();
}

void MainWindowModel::meet(StartNeed need) {
    (need == StartNeed::FormFilled ? formFilled_ : linkOpen_) = true;
    if (formFilled_ && linkOpen_ && !control(Control::StartLog).enabled) {
        enable(Control::StartLog, true);
    }
}

void MainWindowModel::setStatus(std::string text) {
    status_ = std::move(text);
    for (MainWindowObserver* o : observers_) o->statusChanged(status_);
}

void MainWindowModel::enterReducedMode() {
    reducedMode_ = true;
    for (Control c : {Control::Commands, Control::StartLog, Control::StopLog, Control::ResumeLog}) {
        controls_[static_cast<int>(c)].shown = false;
    }
    controls_[static_cast<int>(Control::SendLog)] = {true, true};
    controlsChanged();
}

void MainWindowModel::viewsChanged() {
    for (MainWindowObserver* o : observers_) o->viewsChanged();
}

void MainWindowModel::showResults() {
    resultsShown_ = true;
    viewsChanged();
}

void MainWindowModel::offerSummary() {
    summaryOffered_ = true;
    for (MainWindowObserver* o : observers_) o->summaryOffered();
}

void MainWindowModel::removeObserver(MainWindowObserver* observer) {
    std::erase(observers_, observer);
}

void MainWindowModel::controlsChanged() {
    for (MainWindowObserver* o : observers_) o->controlsChanged();
}

}  // namespace aviolog::model
