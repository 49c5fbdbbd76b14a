#pragma once

#include "stylemaker/style/StyleSettings.h"

#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vessilo {

class CVessiloDoc;

// One settings page: every control bound to one field of the document's record.
// A change goes into the record at once, marks the document modified and wakes
// the preview; loading does neither.
class CStylePage : public QWidget {
    Q_OBJECT
public:
    enum class BindKind { Check, Number, Color, Combo, Index, Name, Comment };
    // The values a number field takes: what the style sheet can use.
    struct NumberRange {
        std::int32_t min = 0;
        std::int32_t max = 0;
    };
    static constexpr NumberRange kSizeRange{0, 9999};
    static constexpr NumberRange kBorderRange{0, 99};
    static constexpr NumberRange kFontRange{0, 999};
    static constexpr NumberRange kSpaceRange{0, 999};
    static constexpr NumberRange kBreakpointRange{kMinBreakpoint, kMaxBreakpoint};
    static constexpr NumberRange kRowsRange{1, 99};
    struct Binding {
        BindKind kind;
        QWidget* control;
        std::int32_t CStyleSettings::*intField = nullptr;
        std::string CStyleSettings::*textField = nullptr;
        int limit = 0;            // characters read (numbers) or bytes kept (texts); index offset
        QLabel* swatch = nullptr; // colours
        QPushButton* picker = nullptr;
        NumberRange range{};
    };

    explicit CStylePage(QWidget* parent = nullptr);
    ~CStylePage() override;

    // The document whose record the page edits; set before the first load.
    void Attach(CVessiloDoc* doc);
    void LoadFromSettings();
    void StoreToSettings();
    void MarkModified();
    void Apply();
    bool IsActive() const { return m_active; }
    const std::vector<Binding>& Bindings() const { return m_bindings; }

    // "#" and exactly six hex digits.
    static bool IsValidColor(std::string_view text);
    // Red, green and blue of a valid colour; -1 for all three otherwise.
    static void ParseColor(std::string_view text, int& red, int& green, int& blue);
    // A valid colour fills the swatch; anything else is grey with a red cross.
    static void PaintColorSwatch(QWidget* swatch, std::string_view color);
    // The colour dialog, starting from the field's colour (black when invalid);
    // writes "#RRGGBB" in upper case. True when a colour was chosen.
    bool PickColor(std::string CStyleSettings::*field);
    // Decimal value of the first maxChars characters: blanks, a sign, digits.
    static std::int32_t ParseNumber(const QString& text, int maxChars);
    // What would end a declaration or a rule of the style sheet: ; { } < > " ' \ and line breaks.
    static bool IsStyleBreaking(QChar c);

protected:
    void BindCheck(QCheckBox* box, std::int32_t CStyleSettings::*field);
    void BindNumber(QLineEdit* edit, std::int32_t CStyleSettings::*field, int maxChars, NumberRange range);
    void BindColor(QLineEdit* edit, QLabel* swatch, QPushButton* picker, std::string CStyleSettings::*field);
    void BindCombo(QComboBox* combo, std::string CStyleSettings::*field);
    void BindIndex(QComboBox* combo, std::int32_t CStyleSettings::*field, int offset);
    void BindName(QLineEdit* edit, std::string CStyleSettings::*field, int maxBytes);
    void BindComment(QPlainTextEdit* edit, std::string CStyleSettings::*field, int maxBytes);
    // Item 0 of every combo, before the first load.
    void SelectFirstItems();
    // Gives every bound control a name that says what it is on its own: the
    // section where the page repeats its labels, the unit or the picker for what
    // they belong to, a check box as turning its value on.
    void NameBoundControls();
    // Runs before a load with the record locked; the preview page repairs its column count.
    virtual void PrepareRecord(CStyleSettings&) {}

    bool eventFilter(QObject* watched, QEvent* event) override;

    CVessiloDoc* m_doc = nullptr;

private:
    void LoadBinding(const Binding& b, const CStyleSettings& s);
    void StoreBinding(const Binding& b, CStyleSettings& s);
    const Binding* Find(QObject* control) const;
    void Pick(const Binding& b);
    void CorrectNumber(const Binding& b);

    std::vector<Binding> m_bindings;
    bool m_active = false;
};

// Selects the first item that begins with text, ignoring case; false (selection
// unchanged) when none does.
bool SelectByPrefix(QComboBox* combo, const QString& text);

} // namespace vessilo
