#pragma once

#include "admanager/settings/AccountLists.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the ASP and FTP host dialogs do to their lists, kept apart from the
// widgets: the fields an edit writes through to, and the working copy with its
// selected row.

enum class AspField { Name, Url, UserId, Password };
enum class FtpField { Name, Host, Port, User, Password, Directory, KeyFile };

// The most an edit of the field holds: bytes that survive a save and load, and
// for the port the characters that are converted.
std::size_t FieldLimit(AspField field);
std::size_t FieldLimit(FtpField field);

// The field as its edit shows it; the port as signed decimal text.
std::string FieldText(const AspEntry& entry, AspField field);
std::string FieldText(const FtpHostEntry& entry, FtpField field);

// Stores an edit's text, cut to the field's limit at a character boundary. The
// port takes the decimal value of the text's first 30 characters, so text
// without leading digits gives 0 and "80ab" gives 80.
void SetField(AspEntry& entry, AspField field, std::string_view text);
void SetField(FtpHostEntry& entry, FtpField field, std::string_view text);
std::int32_t PortFromText(std::string_view text);

// Changes the protocol; a port the user left at the old protocol's own port
// follows to the new one's (21 / 22).
void SetProtocol(FtpHostEntry& entry, FtpProtocol protocol);

// The copy of a list that a dialog edits, and its selected row (-1: none). The
// source list changes only through CopyBack.
template <typename List> class ListWorkingCopy {
public:
    using Entry = typename decltype(List::entries)::value_type;

    explicit ListWorkingCopy(const List& source) { CopyList(source, m_list); }

    const List& Items() const { return m_list; }
    int Count() const { return m_list.Count(); }
    int Selected() const { return m_selected; }
    const Entry* SelectedEntry() const { return m_selected >= 0 ? &m_list.entries[m_selected] : nullptr; }

    // An index outside the list clears the selection.
    void Select(int index) { m_selected = (index >= 0 && index < Count()) ? index : -1; }

    // Appends a new entry and selects it; false, adding nothing, when the list
    // cannot grow.
    bool Add() {
        if (!AppendEntry(m_list, Entry::New()))
            return false;
        m_selected = Count() - 1;
        return true;
    }

    // Removes the selected entry; then the last row, whichever was removed, is
    // selected. False without a selection.
    bool RemoveSelected() {
        if (!RemoveEntry(m_list, m_selected))
            return false;
        m_selected = Count() - 1;
        return true;
    }

    // Swaps the selected entry with the one delta rows away (-1 up, +1 down)
    // and keeps it selected. False at either end, or without a selection.
    bool MoveSelected(int delta) {
        if (m_selected < 0 || !SwapEntries(m_list, m_selected, m_selected + delta))
            return false;
        m_selected += delta;
        return true;
    }

    // Writes an edit's text into the selected entry; false without a selection.
    template <typename Field> bool Edit(Field field, std::string_view text) {
        if (m_selected < 0)
            return false;
        SetField(m_list.entries[m_selected], field, text);
        return true;
    }

    // Applies change to the selected entry; false without a selection.
    template <typename Change> bool Update(Change&& change) {
        if (m_selected < 0)
            return false;
        change(m_list.entries[m_selected]);
        return true;
    }

    void CopyBack(List& target) const { CopyList(m_list, target); }

private:
    List m_list;
    int m_selected = -1;
};
