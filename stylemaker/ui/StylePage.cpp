#include "stylemaker/ui/StylePage.h"

#include "common/Cp932.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "stylemaker/ui/VessiloDoc.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <cstdio>

namespace vessilo {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool SelectByPrefix(QComboBox* combo, const QString& text) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

CStylePage::CStylePage(QWidget* parent) : QWidget(parent) {}

CStylePage::~CStylePage() = default;

void CStylePage::Attach(CVessiloDoc* doc) {
    m_doc = doc;
}

bool CStylePage::IsValidColor(std::string_view text) {
    if (text.size() != 7 || text[0] != '#')
        return false;
    for (std::size_t i = 1; i < 7; ++i)
        if (HexDigit(text[i]) < 0)
            return false;
    return true;
}

void CStylePage::ParseColor(std::string_view text, int& red, int& green, int& blue) {
    if (!IsValidColor(text)) {
        red = green = blue = -1;
        return;
    }
    red = HexDigit(text[1]) * 16 + HexDigit(text[2]);
    green = HexDigit(text[3]) * 16 + HexDigit(text[4]);
    blue = HexDigit(text[5]) * 16 + HexDigit(text[6]);
}

std::int32_t CStylePage::ParseNumber(const QString& text, int maxChars) {
    QString s = text.left(maxChars);
    int i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        negative = s[i++] == u'-';
    long long value = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        value = value * 10 + (s[i].unicode() - u'0');
        // Held at the 32-bit range instead of overflowing.
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<std::int32_t>(value);
}

void CStylePage::PaintColorSwatch(QWidget* swatch, std::string_view color) {
    QPainter painter(swatch);
    // An outline, so a white swatch still shows on a white page.
    painter.setPen(QColor(96, 96, 96));
    painter.drawRect(swatch->rect().adjusted(0, 0, -1, -1));
    QRect area = swatch->rect().adjusted(1, 1, -1, -1);
    int r, g, b;
    ParseColor(color, r, g, b);
    if (r >= 0) {
        painter.fillRect(area, QColor(r, g, b));
        return;
    }
    painter.fillRect(area, QColor(128, 128, 128));
    painter.setPen(QPen(QColor(255, 0, 0), 1));
    painter.drawLine(area.topLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomLeft());
}

void CStylePage::BindCheck(QCheckBox* box, std::int32_t CStyleSettings::*field) {
    m_bindings.push_back({BindKind::Check, box, field});
    connect(box, &QCheckBox::clicked, this, [this] {
        MarkModified();
        Apply();
    });
}

namespace {

int Digits(std::int32_t value) { return static_cast<int>(QString::number(value).size()); }

// Digits only, never more than the range's top: what is shown is what is written.
// A value below the bottom may stand while typed; leaving the field corrects it.
class NumberValidator : public QValidator {
public:
    NumberValidator(CStylePage::NumberRange range, QObject* parent) : QValidator(parent), m_range(range) {}
    State validate(QString& input, int&) const override {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > Digits(m_range.max) ||
            std::any_of(input.begin(), input.end(), [](QChar c) { return c < u'0' || c > u'9'; }))
            return Invalid;
        const int value = input.toInt();
        if (value > m_range.max)
            return Invalid;
        return value < m_range.min ? Intermediate : Acceptable;
    }

private:
    CStylePage::NumberRange m_range;
};

// A colour field: what fits its bytes, without what would break the style sheet.
class StyleTextValidator : public Cp932Validator {
public:
    StyleTextValidator(std::size_t maxBytes, QLineEdit* edit) : Cp932Validator(maxBytes, TextLimit::Uncodable::Refuse, edit), m_edit(edit) {}
    State validate(QString& input, int& pos) const override {
        bool removed = false;
        for (int i = input.size() - 1; i >= 0; --i) {
            if (CStylePage::IsStyleBreaking(input[i])) {
                input.remove(i, 1);
                if (i < pos)
                    --pos;
                removed = true;
            }
        }
        if (removed)
            TextLimit::ShowHint(m_edit, u"; { } < > \" ' \\ と改行は色に使えません。"_qs);
        return Cp932Validator::validate(input, pos);
    }

private:
    QLineEdit* m_edit;
};

} // namespace

bool CStylePage::IsStyleBreaking(QChar c) {
    return QStringView(u";{}<>\"'\\\r\n").contains(c);
}

void CStylePage::BindNumber(QLineEdit* edit, std::int32_t CStyleSettings::*field, int maxChars, NumberRange range) {
    m_bindings.push_back({BindKind::Number, edit, field, nullptr, maxChars, nullptr, nullptr, range});
    edit->setValidator(new NumberValidator(range, edit));
    edit->setToolTip(u"%1～%2の整数"_qs.arg(range.min).arg(range.max));
    connect(edit, &QLineEdit::textChanged, this, &CStylePage::MarkModified);
    edit->installEventFilter(this);
}

void CStylePage::BindColor(QLineEdit* edit, QLabel* swatch, QPushButton* picker, std::string CStyleSettings::*field) {
    m_bindings.push_back({BindKind::Color, edit, nullptr, field, 14, swatch, picker});
    edit->setValidator(new StyleTextValidator(14, edit));
    connect(edit, &QLineEdit::textChanged, this, &CStylePage::MarkModified);
    edit->installEventFilter(this);
    swatch->installEventFilter(this);
    connect(picker, &QPushButton::clicked, this, [this, edit] {
        if (const Binding* b = Find(edit))
            Pick(*b);
    });
}

void CStylePage::BindCombo(QComboBox* combo, std::string CStyleSettings::*field) {
    m_bindings.push_back({BindKind::Combo, combo, nullptr, field});
    // A unit box that can be typed in takes nothing that would break the sheet either.
    if (combo->isEditable() && combo->lineEdit())
        combo->lineEdit()->setValidator(new StyleTextValidator(15, combo->lineEdit()));
    connect(combo, &QComboBox::currentIndexChanged, this, [this] {
        MarkModified();
        Apply();
    });
}

void CStylePage::BindIndex(QComboBox* combo, std::int32_t CStyleSettings::*field, int offset) {
    m_bindings.push_back({BindKind::Index, combo, field, nullptr, offset});
    connect(combo, &QComboBox::currentIndexChanged, this, [this] {
        MarkModified();
        Apply();
    });
}

void CStylePage::BindName(QLineEdit* edit, std::string CStyleSettings::*field, int maxBytes) {
    m_bindings.push_back({BindKind::Name, edit, nullptr, field, maxBytes});
    LimitEditBytes(edit, static_cast<std::size_t>(maxBytes));
    connect(edit, &QLineEdit::textChanged, this, &CStylePage::MarkModified);
    edit->installEventFilter(this);
}

void CStylePage::BindComment(QPlainTextEdit* edit, std::string CStyleSettings::*field, int maxBytes) {
    m_bindings.push_back({BindKind::Comment, edit, nullptr, field, maxBytes});
    LimitEditBytes(edit, static_cast<std::size_t>(maxBytes));
    connect(edit, &QPlainTextEdit::textChanged, this, &CStylePage::MarkModified);
    edit->installEventFilter(this);
}

void CStylePage::SelectFirstItems() {
    for (const Binding& b : m_bindings)
        if (b.kind == BindKind::Combo || b.kind == BindKind::Index)
            static_cast<QComboBox*>(b.control)->setCurrentIndex(0);
}

namespace {

std::string_view FieldName(const CStylePage::Binding& b) {
    for (auto keys : {StyleKeys(), ExtraStyleKeys()})
        for (const StyleKey& key : keys)
            if ((b.intField && key.intField == b.intField) || (b.textField && key.textField == b.textField))
                return key.name;
    return {};
}

// The section of a field on pages that repeat their labels ("■タイトル", "■通常", ...).
QString SectionOf(std::string_view field) {
    static const std::pair<std::string_view, const char16_t*> sections[] = {
        {"Title", u"タイトル"},         {"Comment", u"コメント"},   {"Banner", u"バナー"},
        {"Label", u"ラベル"},           {"PrLink", u"通常のリンク"}, {"PrVisited", u"訪問済みのリンク"},
        {"PrHover", u"マウスが乗ったリンク"}, {"PrActive", u"クリック中のリンク"}};
    const std::size_t prefix = field.starts_with("sz") ? 2 : 1;
    const std::string_view rest = field.size() > prefix ? field.substr(prefix) : std::string_view();
    for (const auto& [key, name] : sections)
        if (rest.starts_with(key) && rest != key)
            return QString::fromUtf16(name);
    return {};
}

// The label's words in the user's language; the labels keep the original's.
QString Japanese(QString label) {
    static const std::pair<const char16_t*, const char16_t*> words[] = {
        {u"FontSize", u"文字サイズ"}, {u"Margin", u"マージン"}, {u"Padding", u"パディング"}, {u"\u3000", u""}};
    for (const auto& [from, to] : words)
        label.replace(QString::fromUtf16(from), QString::fromUtf16(to));
    if (label.startsWith(u"ラベル "_qs))
        label = label.mid(4);
    return label.trimmed();
}

// What a control is called now: its accessible name, or a button's own text.
QString CurrentName(const QWidget* control) {
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return QString(button->text()).remove(u'&');
    return {};
}

} // namespace

void CStylePage::NameBoundControls() {
    // A flag that turns on a value of its own (bFrameWidth for nFrameWidth,
    // bFrameMargin for nFrameMarginLeft...) is named as doing so.
    auto stem = [](std::string_view field) { return field.substr(field.starts_with("sz") ? 2 : 1); };
    auto turnsOnAValue = [&](const Binding& flag) {
        const std::string_view own = stem(FieldName(flag));
        return std::any_of(m_bindings.begin(), m_bindings.end(), [&](const Binding& b) {
            return b.kind != BindKind::Check && !own.empty() && stem(FieldName(b)).starts_with(own);
        });
    };
    for (const Binding& b : m_bindings) {
        const std::string_view field = FieldName(b);
        QString name = Japanese(CurrentName(b.control));
        if (field == "szName")
            name = u"設定の名称"_qs;
        else if (field == "szComment")
            name = u"設定のコメント"_qs;
        else if (field.ends_with("BorderStyle"))
            name = u"枠線の種類"_qs;
        else if (b.kind == BindKind::Number && field.ends_with("Border"))
            name = u"枠線の太さ"_qs;
        else if (field.ends_with("Unit"))
            name += u"の単位"_qs;
        else if (b.kind == BindKind::Number && field == "nRows")
            name = u"行数"_qs;
        else if (b.kind == BindKind::Check && turnsOnAValue(b))
            name += u"を指定"_qs;
        const QString section = SectionOf(field);
        if (!section.isEmpty())
            name = section + u"の"_qs + name;
        b.control->setAccessibleName(name);
        if (auto* combo = qobject_cast<QComboBox*>(b.control); combo && combo->lineEdit())
            combo->lineEdit()->setAccessibleName(name);
        if (b.picker)
            b.picker->setAccessibleName(name + u"を選択"_qs);
    }
}

const CStylePage::Binding* CStylePage::Find(QObject* control) const {
    for (const Binding& b : m_bindings)
        if (b.control == control || b.swatch == control)
            return &b;
    return nullptr;
}

void CStylePage::LoadFromSettings() {
    if (!m_doc)
        return;
    m_active = false;
    {
        std::lock_guard lock(m_doc->SettingsMutex());
        PrepareRecord(m_doc->Settings());
    }
    const CStyleSettings& s = m_doc->Settings();
    for (const Binding& b : m_bindings)
        LoadBinding(b, s);
    update();
    m_active = true;
}

void CStylePage::LoadBinding(const Binding& b, const CStyleSettings& s) {
    switch (b.kind) {
    case BindKind::Check:
        static_cast<QCheckBox*>(b.control)->setChecked(s.*b.intField != 0);
        break;
    case BindKind::Number:
        static_cast<QLineEdit*>(b.control)->setText(QString::number(s.*b.intField));
        break;
    case BindKind::Color:
    case BindKind::Name:
        static_cast<QLineEdit*>(b.control)->setText(Cp932Qt::ToQt(s.*b.textField));
        if (b.swatch)
            b.swatch->update();
        break;
    case BindKind::Comment:
        static_cast<QPlainTextEdit*>(b.control)->setPlainText(Cp932Qt::ToQtMultiline(s.*b.textField));
        break;
    case BindKind::Combo:
        SelectByPrefix(static_cast<QComboBox*>(b.control), Cp932Qt::ToQt(s.*b.textField));
        break;
    case BindKind::Index: {
        auto* combo = static_cast<QComboBox*>(b.control);
        int index = s.*b.intField - b.limit;
        if (index >= 0 && index < combo->count())
            combo->setCurrentIndex(index);
        break;
    }
    }
}

void CStylePage::StoreBinding(const Binding& b, CStyleSettings& s) {
    switch (b.kind) {
    case BindKind::Check:
        s.*b.intField = static_cast<QCheckBox*>(b.control)->isChecked() ? 1 : 0;
        break;
    case BindKind::Number:
        s.*b.intField = ParseNumber(static_cast<QLineEdit*>(b.control)->text(), b.limit);
        break;
    case BindKind::Color:
    case BindKind::Name:
        s.*b.textField = Cp932::Kept(Cp932Qt::FromQt(static_cast<QLineEdit*>(b.control)->text()), b.limit);
        break;
    case BindKind::Comment:
        s.*b.textField =
            Cp932::Kept(Cp932Qt::FromQtMultiline(static_cast<QPlainTextEdit*>(b.control)->toPlainText()), b.limit);
        break;
    case BindKind::Combo: {
        auto* combo = static_cast<QComboBox*>(b.control);
        int index = combo->currentIndex();
        if (index < 0)
            break;
        // On an editable combo only a chosen list item counts, never typed text.
        if (combo->isEditable() && combo->currentText() != combo->itemText(index))
            break;
        s.*b.textField = Cp932Qt::FromQt(combo->itemText(index));
        break;
    }
    case BindKind::Index: {
        int index = static_cast<QComboBox*>(b.control)->currentIndex();
        if (index >= 0)
            s.*b.intField = index + b.limit;
        break;
    }
    }
}

void CStylePage::StoreToSettings() {
    if (!m_doc)
        return;
    std::lock_guard lock(m_doc->SettingsMutex());
    for (const Binding& b : m_bindings)
        StoreBinding(b, m_doc->Settings());
}

void CStylePage::MarkModified() {
    if (m_active && m_doc)
        m_doc->SetModifiedFlag(true);
}

void CStylePage::Apply() {
    if (!m_active || !m_doc)
        return;
    StoreToSettings();
    for (const Binding& b : m_bindings)
        if (b.swatch)
            b.swatch->update();
    m_doc->SignalPreview();
}

bool CStylePage::PickColor(std::string CStyleSettings::*field) {
    if (!m_doc)
        return false;
    int r, g, b;
    ParseColor(m_doc->Settings().*field, r, g, b);
    QColor initial = r < 0 ? QColor(0, 0, 0) : QColor(r, g, b);
    std::optional<QColor> chosen = Prompter::Current().Color(this, initial);
    if (!chosen)
        return false;
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", chosen->red(), chosen->green(), chosen->blue());
    std::lock_guard lock(m_doc->SettingsMutex());
    m_doc->Settings().*field = text;
    return true;
}

void CStylePage::Pick(const Binding& b) {
    if (!PickColor(b.textField))
        return;
    // The edit's text change marks the document modified.
    static_cast<QLineEdit*>(b.control)->setText(Cp932Qt::ToQt(m_doc->Settings().*b.textField));
    Apply();
}

// Leaving a number field: empty or below the range becomes the nearest value the
// style sheet can use, shown in the field and said in the status bar.
void CStylePage::CorrectNumber(const Binding& b) {
    auto* edit = static_cast<QLineEdit*>(b.control);
    if (!edit->isEnabled() || edit->isReadOnly() || edit->hasAcceptableInput())
        return;
    const std::int32_t value = std::clamp(ParseNumber(edit->text(), b.limit), b.range.min, b.range.max);
    edit->setText(QString::number(value));
    TextLimit::ShowHint(edit, u"%1～%2の範囲に直しました。"_qs.arg(b.range.min).arg(b.range.max));
}

bool CStylePage::eventFilter(QObject* watched, QEvent* event) {
    const Binding* b = Find(watched);
    if (!b || !m_doc)
        return QWidget::eventFilter(watched, event);
    if (watched == b->swatch) {
        if (event->type() == QEvent::Paint) {
            PaintColorSwatch(b->swatch, m_doc->Settings().*b->textField);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Pick(*b);
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        if (b->kind == BindKind::Number)
            CorrectNumber(*b);
        if (b->kind == BindKind::Name || b->kind == BindKind::Comment) {
            // Name and comment do not show in the preview: stored, no signal.
            if (m_active) {
                std::lock_guard lock(m_doc->SettingsMutex());
                StoreBinding(*b, m_doc->Settings());
            }
        } else {
            Apply();
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vessilo
