#include "table.h"

#include "allocator.h"
#include "faults.h"

#include <algorithm>

namespace maildir {

Table::Table(std::vector<Properties> rows, std::vector<ULONG> defaultColumns)
    : rows_(std::move(rows)), columns_(std::move(defaultColumns)) {}

STDMETHODIMP Table::GetRowCount(ULONG, ULONG* count) {
    MAILDIR_FAULT_POINT("IMAPITable::GetRowCount");
    if (!count)
        return MAPI_E_INVALID_PARAMETER;
    *count = ULONG(rows_.size());
    return S_OK;
}

STDMETHODIMP Table::SetColumns(LPSPropTagArray columns, ULONG) {
    MAILDIR_FAULT_POINT("IMAPITable::SetColumns");
    if (!columns)
        return MAPI_E_INVALID_PARAMETER;
    columns_.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    return S_OK;
}

STDMETHODIMP Table::QueryColumns(ULONG, LPSPropTagArray* columns) {
    if (!columns)
        return MAPI_E_INVALID_PARAMETER;
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(CbNewSPropTagArray(columns_.size()), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<SPropTagArray*>(buffer);
    array->cValues = ULONG(columns_.size());
    std::copy(columns_.begin(), columns_.end(), array->aulPropTag);
    *columns = array;
    return S_OK;
}

STDMETHODIMP Table::SeekRow(BOOKMARK origin, LONG rows, LONG* sought) {
    MAILDIR_FAULT_POINT("IMAPITable::SeekRow");
    LONG start;
    if (origin == BOOKMARK_BEGINNING)
        start = 0;
    else if (origin == BOOKMARK_CURRENT)
        start = cursor_;
    else if (origin == BOOKMARK_END)
        start = LONG(rows_.size());
    else
        return MAPI_E_INVALID_BOOKMARK;
    const LONG target = std::clamp<LONG>(start + rows, 0, LONG(rows_.size()));
    if (sought)
        *sought = target - start;
    cursor_ = target;
    return S_OK;
}

STDMETHODIMP Table::QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) {
    if (!row || !numerator || !denominator)
        return MAPI_E_INVALID_PARAMETER;
    *row = ULONG(cursor_);
    *numerator = ULONG(cursor_);
    *denominator = ULONG(std::max<size_t>(rows_.size(), 1));
    return S_OK;
}

STDMETHODIMP Table::GetStatus(ULONG* status, ULONG* type) {
    if (!status || !type)
        return MAPI_E_INVALID_PARAMETER;
    *status = TBLSTAT_COMPLETE;
    *type = TBLTYPE_SNAPSHOT;
    return S_OK;
}

// Each row's values are a buffer of their own, so callers free a row set row by row and then
// the set.
STDMETHODIMP Table::QueryRows(LONG count, ULONG flags, LPSRowSet* rows) {
    MAILDIR_FAULT_POINT("IMAPITable::QueryRows");
    if (!rows)
        return MAPI_E_INVALID_PARAMETER;
    *rows = nullptr;
    LONG first = cursor_, last = cursor_;
    if (count >= 0)
        last = std::min<LONG>(cursor_ + count, LONG(rows_.size()));
    else
        first = std::max<LONG>(cursor_ + count, 0);
    const ULONG returned = ULONG(last - first);

    void* buffer = nullptr;
    if (FAILED(allocateBuffer(CbNewSRowSet(returned ? returned : 1), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* set = static_cast<SRowSet*>(buffer);
    set->cRows = 0;
    for (LONG i = first; i < last; ++i) {
        void* values = nullptr;
        if (FAILED(allocateBuffer(ULONG(sizeof(SPropValue) * std::max<size_t>(columns_.size(), 1)),
                                  &values))) {
            for (ULONG r = 0; r < set->cRows; ++r)
                freeBuffer(set->aRow[r].lpProps);
            freeBuffer(set);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* array = static_cast<SPropValue*>(values);
        for (size_t c = 0; c < columns_.size(); ++c)
            fillValue(rows_[size_t(i)], columns_[c], array[c], values);
        SRow& row = set->aRow[set->cRows++];
        row.ulAdrEntryPad = 0;
        row.cValues = ULONG(columns_.size());
        row.lpProps = array;
    }
    if (!(flags & TBL_NOADVANCE))
        cursor_ = count >= 0 ? last : first;
    *rows = set;
    return S_OK;
}

} // namespace maildir
