// A table over rows computed when it is opened: hierarchy, contents and the stores table.
// Restrict and SortTable choose and order the rows that the other methods see.
#pragma once
#include "defaults.h"
#include "properties.h"

#include <functional>
#include <vector>

namespace maildir {

class Table final : public TableDefaults {
public:
    // Row `row` whole, for a table whose rows were given in part.
    using Completion = std::function<Properties(size_t row)>;

    // With `complete`, the rows hold at first only the properties of `keys` (those they have
    // of them); each is made whole when a caller asks for another property of it.
    Table(std::vector<Properties> rows, std::vector<ULONG> defaultColumns,
          std::vector<ULONG> keys = {}, Completion complete = {});

    STDMETHODIMP GetRowCount(ULONG flags, ULONG* count) override;
    STDMETHODIMP SetColumns(LPSPropTagArray columns, ULONG flags) override;
    STDMETHODIMP QueryColumns(ULONG flags, LPSPropTagArray* columns) override;
    STDMETHODIMP SeekRow(BOOKMARK origin, LONG rows, LONG* sought) override;
    STDMETHODIMP QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override;
    STDMETHODIMP QueryRows(LONG count, ULONG flags, LPSRowSet* rows) override;
    STDMETHODIMP GetStatus(ULONG* status, ULONG* type) override;
    STDMETHODIMP Restrict(LPSRestriction restriction, ULONG flags) override;
    STDMETHODIMP SortTable(LPSSortOrderSet order, ULONG flags) override;

private:
    bool answers(REFIID iid) const override { return IsEqualIID(iid, IID_IMAPITable); }

    void arrange();
    // Whether the rows as first given hold what they have of `tags`.
    bool inPart(const std::vector<ULONG>& tags) const;
    void makeWhole(size_t row);

    std::vector<Properties> rows_;
    std::vector<ULONG> keys_;
    Completion complete_;
    std::vector<bool> whole_;
    std::vector<size_t> view_; // the rows that the restriction lets through, in sort order
    std::vector<SSortOrder> order_;
    std::vector<ULONG> columns_;
    LONG cursor_ = 0;
};

} // namespace maildir
