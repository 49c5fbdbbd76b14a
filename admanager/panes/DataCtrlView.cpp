#include "admanager/panes/DataCtrlView.h"

#include "admanager/library/ui/AfManagerDoc.h"
#include "common/ui/Cp932Qt.h"

#include <QLabel>
#include <QVBoxLayout>

CDataCtrlView::CDataCtrlView(CAfManagerDoc& doc, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_summary(new QLabel(this)) {
    setObjectName(u"dataCtrlView"_qs);
    m_summary->setObjectName(u"bannerSummaryLabel"_qs);
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_summary->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    m_doc.SetEditorView(this);
    Refresh(99);
}

void CDataCtrlView::Refresh(int) {
    const Banner* banner = m_doc.State().currentBanner;
    m_summary->setText(banner ? Cp932Qt::ToQt(banner->name) : QString());
}

void CDataCtrlView::RefillAspList() {}
