// A table over rows computed when it is opened: hierarchy, contents and the stores table.
// Restrict and SortTable choose and order the rows that the other methods see.
#pragma once
#include "defaults.h"
#include "properties.h"

#include <vector>

namespace maildir {

class Table final : public TableDefaults {
public:
    Table(std::vector<Properties> rows, std::vector<ULONG> defaultColumns);

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

    std::vector<Properties> rows_;
    std::vector<size_t> view_; // the rows that the restriction lets through, in sort order
    std::vector<SSortOrder> order_;
    std::vector<ULONG> columns_;
    LONG cursor_ = 0;
};

} // namespace maildir
