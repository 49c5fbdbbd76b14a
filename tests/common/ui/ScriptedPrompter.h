#pragma once

#include "common/ui/Prompter.h"

#include <QString>
#include <deque>
#include <vector>

namespace testutil {

// Answers message boxes and file dialogs from a script and records what was shown.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        QString text;
        Icon icon;
        Buttons buttons;
    };

    ScriptedPrompter() { Prompter::Install(this); }
    ~ScriptedPrompter() override { Prompter::Install(nullptr); }

    std::vector<Shown> shown;
    std::deque<Answer> answers; // when empty: Ok, or Cancel for a question
    std::deque<QString> openNames;
    std::deque<QString> saveNames;
    int openDialogs = 0;
    int saveDialogs = 0;

    Answer Message(QWidget*, const QString& text, Icon icon, Buttons buttons) override {
        shown.push_back({text, icon, buttons});
        if (!answers.empty()) {
            Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    QString OpenFileName(QWidget*, const FileDialog&) override { return Next(openNames, openDialogs); }
    QString SaveFileName(QWidget*, const FileDialog&) override { return Next(saveNames, saveDialogs); }
    std::optional<QColor> Color(QWidget*, const QColor&) override { return std::nullopt; }

    QString LastText() const { return shown.empty() ? QString() : shown.back().text; }
    void Clear() { shown.clear(); }

private:
    static QString Next(std::deque<QString>& names, int& count) {
        ++count;
        if (names.empty())
            return {};
        QString n = names.front();
        names.pop_front();
        return n;
    }
};

} // namespace testutil
