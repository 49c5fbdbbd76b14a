#pragma once

#include "admanager/library/LibraryNode.h"

#include <QUndoCommand>
#include <memory>
#include <string>
#include <vector>

class CAfManagerDoc;

// What the panes show: the tree's node and the list's banner.
struct Place {
    LibraryNode* node = nullptr;
    Banner* banner = nullptr;
};

// One step of a library's history. The document makes the change as the user asks
// for it and records the step afterwards; the step's first redo is that change.
// Undo and a later redo replay it on the same objects and show the place the
// user saw before or after it.
class LibraryStep : public QUndoCommand {
public:
    LibraryStep(CAfManagerDoc& doc, const QString& text, Place before, bool treeChanges);
    void undo() final;
    void redo() final;
    void SetAfter(Place after) { m_after = after; }
    // Typing into a field ends: a later keystroke is a step of its own.
    virtual void Close() {}

protected:
    virtual void Apply() = 0;
    virtual void Revert() = 0;

private:
    CAfManagerDoc& m_doc;
    Place m_before;
    Place m_after;
    bool m_treeChanges;
    bool m_made = true;
};

// A node put into a folder's list (new folder, new ad item, pasted ad item) or
// taken out of it (deleted, kept whole for undo).
class NodeSlotStep : public LibraryStep {
public:
    // A node that was put at index.
    NodeSlotStep(CAfManagerDoc& doc, const QString& text, Place before, LibraryNode& parent, std::size_t index);
    // node, taken out of index.
    NodeSlotStep(CAfManagerDoc& doc, Place before, LibraryNode& parent, std::size_t index,
                 std::unique_ptr<LibraryNode> node);

private:
    void Apply() override { m_taken ? Take() : Put(); }
    void Revert() override { m_taken ? Put() : Take(); }
    void Put() { InsertChild(m_parent, m_index, std::move(m_kept)); }
    void Take() { m_kept = DetachChild(m_parent, m_index); }
    LibraryNode& m_parent;
    std::size_t m_index;
    bool m_taken;
    std::unique_ptr<LibraryNode> m_kept;
};

// A node moved to the end of another folder. A move gives the node and its
// subtree fresh identifiers, as a copy would; undo gives the old ones back.
class NodeMoveStep : public LibraryStep {
public:
    NodeMoveStep(CAfManagerDoc& doc, Place before, LibraryNode& from, std::size_t fromIndex, LibraryNode& to,
                 std::vector<std::string> oldIds, std::vector<std::string> newIds);

private:
    void Apply() override;
    void Revert() override;
    LibraryNode& m_from;
    std::size_t m_fromIndex;
    LibraryNode& m_to;
    std::vector<std::string> m_oldIds;
    std::vector<std::string> m_newIds;
};

// A banner appended to an ad item: new or pasted.
class BannerInsertStep : public LibraryStep {
public:
    BannerInsertStep(CAfManagerDoc& doc, const QString& text, Place before, LibraryNode& item);

private:
    void Apply() override;
    void Revert() override;
    LibraryNode& m_item;
    std::unique_ptr<Banner> m_kept;
};

// A banner deleted: it stays in its item's list, no longer live (as the file keeps it).
class BannerDeleteStep : public LibraryStep {
public:
    BannerDeleteStep(CAfManagerDoc& doc, Place before, Banner& banner);

private:
    void Apply() override { m_banner.live = 0; }
    void Revert() override { m_banner.live = 1; }
    Banner& m_banner;
};

// A banner moved within its item's order.
class BannerMoveStep : public LibraryStep {
public:
    BannerMoveStep(CAfManagerDoc& doc, Place before, LibraryNode& item, std::size_t from, std::size_t to);

private:
    void Apply() override { MoveBanner(m_item, m_from, m_to); }
    void Revert() override { MoveBanner(m_item, m_to, m_from); }
    LibraryNode& m_item;
    std::size_t m_from;
    std::size_t m_to;
};

// Typing into one field: one step until the field loses the focus or another step comes.
class FieldStep : public LibraryStep {
public:
    FieldStep(CAfManagerDoc& doc, const QString& text, Place before, bool treeChanges, int field)
        : LibraryStep(doc, text, before, treeChanges), m_field(field) {}
    void Close() override { m_open = false; }

protected:
    bool CanTake(const FieldStep& other) const { return m_open && other.id() == id() && other.m_field == m_field; }
    int m_field;
    bool m_open = true;
};

// The fields of a banner changed in the editor pane.
class BannerEditStep : public FieldStep {
public:
    enum Field { Asp, Advertiser, Name, Cpm, Cpc, FixedRate, FixedFee, Comment, Tag };
    BannerEditStep(CAfManagerDoc& doc, Place before, Banner& banner, Field field, const Banner& old);
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void Apply() override { m_banner = m_new; }
    void Revert() override { m_banner = m_old; }
    Banner& m_banner;
    Banner m_old;
    Banner m_new;
};

// The fields of a node: title, comment, or what the generation dialog stores.
class NodeEditStep : public FieldStep {
public:
    enum Field { Title, Comment, Generation };
    NodeEditStep(CAfManagerDoc& doc, Place before, LibraryNode& node, Field field, const LibraryNode& old);
    int id() const override { return 2; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void Apply() override { m_node.CopyFieldsFrom(m_new); }
    void Revert() override { m_node.CopyFieldsFrom(m_old); }
    LibraryNode& m_node;
    LibraryNode m_old;
    LibraryNode m_new;
};
