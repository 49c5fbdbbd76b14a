#include "stylemaker/ui/SettingsPages.h"

#include "common/ui/AccessibleNames.h"
#include "ui_AdDetailPage.h"
#include "ui_AdPage.h"
#include "ui_GeneralPage.h"
#include "ui_PrLinkPage.h"
#include "ui_PreviewPage.h"

#include <QComboBox>

namespace vessilo {

CGeneralPage::CGeneralPage(QWidget* parent) : CStylePage(parent), m_ui(std::make_unique<Ui::GeneralPage>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    BindName(m_ui->nameLineEdit, &CStyleSettings::szName, 254);
    BindComment(m_ui->commentPlainTextEdit, &CStyleSettings::szComment, 510);
    BindCheck(m_ui->frameWidthCheckBox, &CStyleSettings::bFrameWidth);
    BindNumber(m_ui->frameWidthLineEdit, &CStyleSettings::nFrameWidth, 31, kSizeRange);
    BindCombo(m_ui->frameWidthUnitComboBox, &CStyleSettings::szFrameWidthUnit);
    BindCheck(m_ui->frameBorderCheckBox, &CStyleSettings::bFrameBorder);
    BindCombo(m_ui->frameBorderStyleComboBox, &CStyleSettings::szFrameBorderStyle);
    BindNumber(m_ui->frameBorderLineEdit, &CStyleSettings::nFrameBorder, 31, kBorderRange);
    BindColor(m_ui->frameBorderColorLineEdit, m_ui->frameBorderColorSwatchLabel, m_ui->frameBorderColorPushButton,
              &CStyleSettings::szFrameBorderColor);
    BindCheck(m_ui->frameTextColorCheckBox, &CStyleSettings::bFrameTextColor);
    BindColor(m_ui->frameTextColorLineEdit, m_ui->frameTextColorSwatchLabel, m_ui->frameTextColorPushButton,
              &CStyleSettings::szFrameTextColor);
    BindCheck(m_ui->frameBackColorCheckBox, &CStyleSettings::bFrameBackColor);
    BindColor(m_ui->frameBackColorLineEdit, m_ui->frameBackColorSwatchLabel, m_ui->frameBackColorPushButton,
              &CStyleSettings::szFrameBackColor);
    BindCheck(m_ui->frameFontSizeCheckBox, &CStyleSettings::bFrameFontSize);
    BindNumber(m_ui->frameFontSizeLineEdit, &CStyleSettings::nFrameFontSize, 31, kFontRange);
    BindCombo(m_ui->frameFontSizeUnitComboBox, &CStyleSettings::szFrameFontSizeUnit);
    BindCheck(m_ui->frameFontBorldCheckBox, &CStyleSettings::bFrameFontBorld);
    BindCheck(m_ui->frameFontItalicCheckBox, &CStyleSettings::bFrameFontItalic);
    BindCheck(m_ui->frameMarginCheckBox, &CStyleSettings::bFrameMargin);
    BindNumber(m_ui->frameMarginLeftLineEdit, &CStyleSettings::nFrameMarginLeft, 31, kSpaceRange);
    BindNumber(m_ui->frameMarginRightLineEdit, &CStyleSettings::nFrameMarginRight, 31, kSpaceRange);
    BindNumber(m_ui->frameMarginTopLineEdit, &CStyleSettings::nFrameMarginTop, 31, kSpaceRange);
    BindNumber(m_ui->frameMarginBottomLineEdit, &CStyleSettings::nFrameMarginBottom, 31, kSpaceRange);
    BindCheck(m_ui->responsiveCheckBox, &CStyleSettings::bResponsive);
    BindNumber(m_ui->breakpointLineEdit, &CStyleSettings::nBreakpoint, 31, kBreakpointRange);
    BindIndex(m_ui->phoneColsComboBox, &CStyleSettings::nPhoneCols, 1);
    m_ui->breakpointLineEdit->setAccessibleName(u"スマートフォン対応の幅"_qs);
    m_ui->phoneColsComboBox->setAccessibleName(u"スマートフォンの列数"_qs);
    NameBoundControls();
    SelectFirstItems();
}

CGeneralPage::~CGeneralPage() = default;

CAdPage::CAdPage(QWidget* parent) : CStylePage(parent), m_ui(std::make_unique<Ui::AdPage>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    BindCheck(m_ui->dataHoriCheckBox, &CStyleSettings::bDataHori);
    BindCombo(m_ui->dataHoriComboBox, &CStyleSettings::szDataHori);
    BindCheck(m_ui->dataVertCheckBox, &CStyleSettings::bDataVert);
    BindCombo(m_ui->dataVertComboBox, &CStyleSettings::szDataVert);
    BindCheck(m_ui->advWidthCheckBox, &CStyleSettings::bAdvWidth);
    BindNumber(m_ui->advWidthLineEdit, &CStyleSettings::nAdvWidth, 31, kSizeRange);
    BindCombo(m_ui->advWidthUnitComboBox, &CStyleSettings::szAdvWidthUnit);
    BindCheck(m_ui->advHeightCheckBox, &CStyleSettings::bAdvHeight);
    BindNumber(m_ui->advHeightLineEdit, &CStyleSettings::nAdvHeight, 31, kSizeRange);
    BindCombo(m_ui->advHeightUnitComboBox, &CStyleSettings::szAdvHeightUnit);
    BindCheck(m_ui->advBorderCheckBox, &CStyleSettings::bAdvBorder);
    BindCombo(m_ui->advBorderStyleComboBox, &CStyleSettings::szAdvBorderStyle);
    BindNumber(m_ui->advBorderLineEdit, &CStyleSettings::nAdvBorder, 31, kBorderRange);
    BindColor(m_ui->advBorderColorLineEdit, m_ui->advBorderColorSwatchLabel, m_ui->advBorderColorPushButton,
              &CStyleSettings::szAdvBorderColor);
    BindCheck(m_ui->advTextColorCheckBox, &CStyleSettings::bAdvTextColor);
    BindColor(m_ui->advTextColorLineEdit, m_ui->advTextColorSwatchLabel, m_ui->advTextColorPushButton,
              &CStyleSettings::szAdvTextColor);
    BindCheck(m_ui->advBackColorCheckBox, &CStyleSettings::bAdvBackColor);
    BindColor(m_ui->advBackColorLineEdit, m_ui->advBackColorSwatchLabel, m_ui->advBackColorPushButton,
              &CStyleSettings::szAdvBackColor);
    BindCheck(m_ui->advFontSizeCheckBox, &CStyleSettings::bAdvFontSize);
    BindNumber(m_ui->advFontSizeLineEdit, &CStyleSettings::nAdvFontSize, 31, kFontRange);
    BindCombo(m_ui->advFontSizeUnitComboBox, &CStyleSettings::szAdvFontSizeUnit);
    BindCheck(m_ui->advFontBorldCheckBox, &CStyleSettings::bAdvFontBorld);
    BindCheck(m_ui->advFontItalicCheckBox, &CStyleSettings::bAdvFontItalic);
    BindCheck(m_ui->advPaddingCheckBox, &CStyleSettings::bAdvPadding);
    BindNumber(m_ui->advPaddingLeftLineEdit, &CStyleSettings::nAdvPaddingLeft, 14, kSpaceRange);
    BindNumber(m_ui->advPaddingRightLineEdit, &CStyleSettings::nAdvPaddingRight, 14, kSpaceRange);
    BindNumber(m_ui->advPaddingTopLineEdit, &CStyleSettings::nAdvPaddingTop, 14, kSpaceRange);
    BindNumber(m_ui->advPaddingBottomLineEdit, &CStyleSettings::nAdvPaddingBottom, 14, kSpaceRange);
    BindCheck(m_ui->advMarginCheckBox, &CStyleSettings::bAdvMargin);
    BindNumber(m_ui->advMarginLeftLineEdit, &CStyleSettings::nAdvMarginLeft, 14, kSpaceRange);
    BindNumber(m_ui->advMarginRightLineEdit, &CStyleSettings::nAdvMarginRight, 14, kSpaceRange);
    BindNumber(m_ui->advMarginTopLineEdit, &CStyleSettings::nAdvMarginTop, 14, kSpaceRange);
    BindNumber(m_ui->advMarginBottomLineEdit, &CStyleSettings::nAdvMarginBottom, 14, kSpaceRange);
    NameBoundControls();
    SelectFirstItems();
}

CAdPage::~CAdPage() = default;

CAdDetailPage::CAdDetailPage(QWidget* parent) : CStylePage(parent), m_ui(std::make_unique<Ui::AdDetailPage>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    BindCheck(m_ui->titleHoriCheckBox, &CStyleSettings::bTitleHori);
    BindCombo(m_ui->titleHoriComboBox, &CStyleSettings::szTitleHori);
    BindCheck(m_ui->titleTextColorCheckBox, &CStyleSettings::bTitleTextColor);
    BindColor(m_ui->titleTextColorLineEdit, m_ui->titleTextColorSwatchLabel, m_ui->titleTextColorPushButton,
              &CStyleSettings::szTitleTextColor);
    BindCheck(m_ui->titleBackColorCheckBox, &CStyleSettings::bTitleBackColor);
    BindColor(m_ui->titleBackColorLineEdit, m_ui->titleBackColorSwatchLabel, m_ui->titleBackColorPushButton,
              &CStyleSettings::szTitleBackColor);
    BindCheck(m_ui->titleFontSizeCheckBox, &CStyleSettings::bTitleFontSize);
    BindNumber(m_ui->titleFontSizeLineEdit, &CStyleSettings::nTitleFontSize, 31, kFontRange);
    BindCombo(m_ui->titleFontSizeUnitComboBox, &CStyleSettings::szTitleFontSizeUnit);
    BindCheck(m_ui->titleFontBorldCheckBox, &CStyleSettings::bTitleFontBorld);
    BindCheck(m_ui->titleFontItalicCheckBox, &CStyleSettings::bTitleFontItalic);
    BindCheck(m_ui->commentHoriCheckBox, &CStyleSettings::bCommentHori);
    BindCombo(m_ui->commentHoriComboBox, &CStyleSettings::szCommentHori);
    BindCheck(m_ui->commentTextColorCheckBox, &CStyleSettings::bCommentTextColor);
    BindColor(m_ui->commentTextColorLineEdit, m_ui->commentTextColorSwatchLabel, m_ui->commentTextColorPushButton,
              &CStyleSettings::szCommentTextColor);
    BindCheck(m_ui->commentBackColorCheckBox, &CStyleSettings::bCommentBackColor);
    BindColor(m_ui->commentBackColorLineEdit, m_ui->commentBackColorSwatchLabel, m_ui->commentBackColorPushButton,
              &CStyleSettings::szCommentBackColor);
    BindCheck(m_ui->commentFontSizeCheckBox, &CStyleSettings::bCommentFontSize);
    BindNumber(m_ui->commentFontSizeLineEdit, &CStyleSettings::nCommentFontSize, 31, kFontRange);
    BindCombo(m_ui->commentFontSizeUnitComboBox, &CStyleSettings::szCommentFontSizeUnit);
    BindCheck(m_ui->commentFontBorldCheckBox, &CStyleSettings::bCommentFontBorld);
    BindCheck(m_ui->commentFontItalicCheckBox, &CStyleSettings::bCommentFontItalic);
    BindCheck(m_ui->bannerHoriCheckBox, &CStyleSettings::bBannerHori);
    BindCombo(m_ui->bannerHoriComboBox, &CStyleSettings::szBannerHori);
    BindCheck(m_ui->bannerTextColorCheckBox, &CStyleSettings::bBannerTextColor);
    BindColor(m_ui->bannerTextColorLineEdit, m_ui->bannerTextColorSwatchLabel, m_ui->bannerTextColorPushButton,
              &CStyleSettings::szBannerTextColor);
    BindCheck(m_ui->bannerBackColorCheckBox, &CStyleSettings::bBannerBackColor);
    BindColor(m_ui->bannerBackColorLineEdit, m_ui->bannerBackColorSwatchLabel, m_ui->bannerBackColorPushButton,
              &CStyleSettings::szBannerBackColor);
    BindCheck(m_ui->bannerFontSizeCheckBox, &CStyleSettings::bBannerFontSize);
    BindNumber(m_ui->bannerFontSizeLineEdit, &CStyleSettings::nBannerFontSize, 31, kFontRange);
    BindCombo(m_ui->bannerFontSizeUnitComboBox, &CStyleSettings::szBannerFontSizeUnit);
    BindCheck(m_ui->bannerFontBorldCheckBox, &CStyleSettings::bBannerFontBorld);
    BindCheck(m_ui->bannerFontItalicCheckBox, &CStyleSettings::bBannerFontItalic);
    BindCheck(m_ui->labelHoriCheckBox, &CStyleSettings::bLabelHori);
    BindCombo(m_ui->labelHoriComboBox, &CStyleSettings::szLabelHori);
    BindCheck(m_ui->labelTextColorCheckBox, &CStyleSettings::bLabelTextColor);
    BindColor(m_ui->labelTextColorLineEdit, m_ui->labelTextColorSwatchLabel, m_ui->labelTextColorPushButton,
              &CStyleSettings::szLabelTextColor);
    BindCheck(m_ui->labelBackColorCheckBox, &CStyleSettings::bLabelBackColor);
    BindColor(m_ui->labelBackColorLineEdit, m_ui->labelBackColorSwatchLabel, m_ui->labelBackColorPushButton,
              &CStyleSettings::szLabelBackColor);
    BindCheck(m_ui->labelFontSizeCheckBox, &CStyleSettings::bLabelFontSize);
    BindNumber(m_ui->labelFontSizeLineEdit, &CStyleSettings::nLabelFontSize, 31, kFontRange);
    BindCombo(m_ui->labelFontSizeUnitComboBox, &CStyleSettings::szLabelFontSizeUnit);
    BindCheck(m_ui->labelMarginCheckBox, &CStyleSettings::bLabelMargin);
    BindNumber(m_ui->labelMarginLeftLineEdit, &CStyleSettings::nLabelMarginLeft, 14, kSpaceRange);
    BindNumber(m_ui->labelMarginRightLineEdit, &CStyleSettings::nLabelMarginRight, 14, kSpaceRange);
    BindNumber(m_ui->labelMarginTopLineEdit, &CStyleSettings::nLabelMarginTop, 14, kSpaceRange);
    BindNumber(m_ui->labelMarginBottomLineEdit, &CStyleSettings::nLabelMarginBottom, 14, kSpaceRange);
    // The label's rows share their texts with the lines above; say whose they are.
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->labelHoriCheckBox, m_ui->labelHoriComboBox,
                                                      m_ui->labelTextColorCheckBox, m_ui->labelTextColorLineEdit,
                                                      m_ui->labelBackColorCheckBox, m_ui->labelBackColorLineEdit,
                                                      m_ui->labelFontSizeCheckBox, m_ui->labelFontSizeLineEdit,
                                                      m_ui->labelFontSizeUnitComboBox, m_ui->labelMarginCheckBox})
        w->setAccessibleName(u"ラベル "_qs + (w->accessibleName().isEmpty() ? static_cast<QAbstractButton*>(w)->text()
                                                                            : w->accessibleName()));
    NameBoundControls();
    SelectFirstItems();
}

CAdDetailPage::~CAdDetailPage() = default;

CPrLinkPage::CPrLinkPage(QWidget* parent) : CStylePage(parent), m_ui(std::make_unique<Ui::PrLinkPage>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    BindCheck(m_ui->prHoriCheckBox, &CStyleSettings::bPrHori);
    BindCombo(m_ui->prHoriComboBox, &CStyleSettings::szPrHori);
    BindCheck(m_ui->prBackColorCheckBox, &CStyleSettings::bPrBackColor);
    BindColor(m_ui->prBackColorLineEdit, m_ui->prBackColorSwatchLabel, m_ui->prBackColorPushButton,
              &CStyleSettings::szPrBackColor);
    BindCheck(m_ui->prFontSizeCheckBox, &CStyleSettings::bPrFontSize);
    BindNumber(m_ui->prFontSizeLineEdit, &CStyleSettings::nPrFontSize, 31, kFontRange);
    BindCombo(m_ui->prFontSizeUnitComboBox, &CStyleSettings::szPrFontSizeUnit);
    BindCheck(m_ui->prLinkTextColorCheckBox, &CStyleSettings::bPrLinkTextColor);
    BindColor(m_ui->prLinkTextColorLineEdit, m_ui->prLinkTextColorSwatchLabel, m_ui->prLinkTextColorPushButton,
              &CStyleSettings::szPrLinkTextColor);
    BindCheck(m_ui->prLinkFontBorldCheckBox, &CStyleSettings::bPrLinkFontBorld);
    BindCheck(m_ui->prLinkFontItalicCheckBox, &CStyleSettings::bPrLinkFontItalic);
    BindCheck(m_ui->prVisitedTextColorCheckBox, &CStyleSettings::bPrVisitedTextColor);
    BindColor(m_ui->prVisitedTextColorLineEdit, m_ui->prVisitedTextColorSwatchLabel, m_ui->prVisitedTextColorPushButton,
              &CStyleSettings::szPrVisitedTextColor);
    BindCheck(m_ui->prVisitedFontBorldCheckBox, &CStyleSettings::bPrVisitedFontBorld);
    BindCheck(m_ui->prVisitedFontItalicCheckBox, &CStyleSettings::bPrVisitedFontItalic);
    BindCheck(m_ui->prHoverTextColorCheckBox, &CStyleSettings::bPrHoverTextColor);
    BindColor(m_ui->prHoverTextColorLineEdit, m_ui->prHoverTextColorSwatchLabel, m_ui->prHoverTextColorPushButton,
              &CStyleSettings::szPrHoverTextColor);
    BindCheck(m_ui->prHoverFontBorldCheckBox, &CStyleSettings::bPrHoverFontBorld);
    BindCheck(m_ui->prHoverFontItalicCheckBox, &CStyleSettings::bPrHoverFontItalic);
    BindCheck(m_ui->prActiveTextColorCheckBox, &CStyleSettings::bPrActiveTextColor);
    BindColor(m_ui->prActiveTextColorLineEdit, m_ui->prActiveTextColorSwatchLabel, m_ui->prActiveTextColorPushButton,
              &CStyleSettings::szPrActiveTextColor);
    BindCheck(m_ui->prActiveFontBorldCheckBox, &CStyleSettings::bPrActiveFontBorld);
    BindCheck(m_ui->prActiveFontItalicCheckBox, &CStyleSettings::bPrActiveFontItalic);
    BindCheck(m_ui->unUsePrLinkCheckBox, &CStyleSettings::bUnUsePrLink);
    // Typed text is never stored, so it must not become an item either.
    m_ui->prFontSizeUnitComboBox->setInsertPolicy(QComboBox::NoInsert);
    NameBoundControls();
    SelectFirstItems();
}

CPrLinkPage::~CPrLinkPage() = default;

CPreviewPage::CPreviewPage(QWidget* parent) : CStylePage(parent), m_ui(std::make_unique<Ui::PreviewPage>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    BindIndex(m_ui->colsComboBox, &CStyleSettings::nCols, 1);
    BindCheck(m_ui->rowRestCheckBox, &CStyleSettings::bRowRest);
    BindNumber(m_ui->rowsLineEdit, &CStyleSettings::nRows, 31, kRowsRange);
    BindIndex(m_ui->adv1ComboBox, &CStyleSettings::nAdv1, 0);
    BindIndex(m_ui->adv2ComboBox, &CStyleSettings::nAdv2, 0);
    BindIndex(m_ui->adv3ComboBox, &CStyleSettings::nAdv3, 0);
    NameBoundControls();
    SelectFirstItems();
    m_ui->adv1ComboBox->setCurrentIndex(1);
    m_ui->adv2ComboBox->setCurrentIndex(2);
    m_ui->adv3ComboBox->setCurrentIndex(3);
}

CPreviewPage::~CPreviewPage() = default;

// The preview lays out 1 to 6 columns; any other count is mended in the record so
// the combo always has a selection and the next store keeps a usable value.
void CPreviewPage::PrepareRecord(CStyleSettings& settings) {
    if (settings.nCols < 1)
        settings.nCols = 1;
    else if (settings.nCols > m_ui->colsComboBox->count())
        settings.nCols = m_ui->colsComboBox->count();
}

} // namespace vessilo
