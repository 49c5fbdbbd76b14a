#pragma once

#include <QWidget>

class CAfManagerDoc;
class QLabel;

// The banner editor pane.
class CDataCtrlView : public QWidget {
    Q_OBJECT
public:
    CDataCtrlView(CAfManagerDoc& doc, QWidget* parent = nullptr);

    // 99: refill from the current banner.
    void Refresh(int what);
    // Refills the ASP choices after the ASP list changed.
    void RefillAspList();

private:
    CAfManagerDoc& m_doc;
    QLabel* m_summary;
};
