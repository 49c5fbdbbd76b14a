#include "admanager/library/ui/LibraryHistory.h"

#include "admanager/library/ui/AfManagerDoc.h"

LibraryStep::LibraryStep(CAfManagerDoc& doc, const QString& text, Place before, bool treeChanges)
    : QUndoCommand(text), m_doc(doc), m_before(before), m_treeChanges(treeChanges) {}

void LibraryStep::undo() {
    Revert();
    Close();
    m_doc.ShowPlace(m_before, m_treeChanges);
}

void LibraryStep::redo() {
    if (m_made) {
        m_made = false; // the change itself, already made and shown
        return;
    }
    Apply();
    Close();
    m_doc.ShowPlace(m_after, m_treeChanges);
}

NodeSlotStep::NodeSlotStep(CAfManagerDoc& doc, const QString& text, Place before, LibraryNode& parent,
                           std::size_t index)
    : LibraryStep(doc, text, before, true), m_parent(parent), m_index(index), m_taken(false) {}

NodeSlotStep::NodeSlotStep(CAfManagerDoc& doc, Place before, LibraryNode& parent, std::size_t index,
                           std::unique_ptr<LibraryNode> node)
    : LibraryStep(doc, QStringLiteral("項目の削除"), before, true), m_parent(parent), m_index(index), m_taken(true),
      m_kept(std::move(node)) {}

NodeMoveStep::NodeMoveStep(CAfManagerDoc& doc, Place before, LibraryNode& from, std::size_t fromIndex, LibraryNode& to,
                           std::vector<std::string> oldIds, std::vector<std::string> newIds)
    : LibraryStep(doc, QStringLiteral("項目の移動"), before, true), m_from(from), m_fromIndex(fromIndex), m_to(to),
      m_oldIds(std::move(oldIds)), m_newIds(std::move(newIds)) {}

void NodeMoveStep::Apply() {
    std::unique_ptr<LibraryNode> node = DetachChild(m_from, m_fromIndex);
    SetSubtreeIds(*node, m_newIds);
    InsertChild(m_to, m_to.children.size(), std::move(node));
}

void NodeMoveStep::Revert() {
    std::unique_ptr<LibraryNode> node = DetachChild(m_to, m_to.children.size() - 1);
    SetSubtreeIds(*node, m_oldIds);
    InsertChild(m_from, m_fromIndex, std::move(node));
}

BannerInsertStep::BannerInsertStep(CAfManagerDoc& doc, const QString& text, Place before, LibraryNode& item)
    : LibraryStep(doc, text, before, false), m_item(item) {}

void BannerInsertStep::Apply() { m_item.banners.push_back(std::move(m_kept)); }

void BannerInsertStep::Revert() {
    m_kept = std::move(m_item.banners.back());
    m_item.banners.pop_back();
}

BannerDeleteStep::BannerDeleteStep(CAfManagerDoc& doc, Place before, Banner& banner)
    : LibraryStep(doc, QStringLiteral("バナーの削除"), before, false), m_banner(banner) {}

BannerMoveStep::BannerMoveStep(CAfManagerDoc& doc, Place before, LibraryNode& item, std::size_t from, std::size_t to)
    : LibraryStep(doc, QStringLiteral("バナーの移動"), before, false), m_item(item), m_from(from), m_to(to) {}

namespace {

QString BannerFieldText(BannerEditStep::Field field) {
    static const char16_t* const names[] = {u"ASP", u"広告主", u"広告名", u"CPM", u"CPC",
                                            u"定率", u"定額", u"コメント", u"タグ"};
    return QString::fromUtf16(names[field]) + QStringLiteral("の変更");
}

QString NodeFieldText(NodeEditStep::Field field) {
    switch (field) {
    case NodeEditStep::Title: return QStringLiteral("タイトルの変更");
    case NodeEditStep::Comment: return QStringLiteral("コメントの変更");
    case NodeEditStep::Generation: break;
    }
    return QStringLiteral("HTML生成の設定");
}

} // namespace

BannerEditStep::BannerEditStep(CAfManagerDoc& doc, Place before, Banner& banner, Field field, const Banner& old)
    : FieldStep(doc, BannerFieldText(field), before, false, field), m_banner(banner), m_old(old), m_new(banner) {}

bool BannerEditStep::mergeWith(const QUndoCommand* other) {
    const auto* step = static_cast<const BannerEditStep*>(other);
    if (!CanTake(*step) || &step->m_banner != &m_banner)
        return false;
    m_new = step->m_new;
    // Typed back to what it was: the step goes, and with it any modified mark it made.
    setObsolete(m_new == m_old);
    return true;
}

NodeEditStep::NodeEditStep(CAfManagerDoc& doc, Place before, LibraryNode& node, Field field, const LibraryNode& old)
    : FieldStep(doc, NodeFieldText(field), before, field == Title, field), m_node(node) {
    m_old.CopyFieldsFrom(old);
    m_new.CopyFieldsFrom(node);
}

bool NodeEditStep::mergeWith(const QUndoCommand* other) {
    const auto* step = static_cast<const NodeEditStep*>(other);
    if (!CanTake(*step) || &step->m_node != &m_node)
        return false;
    m_new.CopyFieldsFrom(step->m_new);
    setObsolete(m_new.SameFields(m_old));
    return true;
}
