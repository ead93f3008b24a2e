#include "table.h"

#include "allocator.h"
#include "faults.h"

#include <algorithm>
#include <optional>

namespace maildir {

namespace {

// -1, 0 or 1 for two values of the same kind; nothing when they cannot be compared.
std::optional<int> compare(const Property& a, const Property& b) {
    auto order = [](const auto& x, const auto& y) { return x < y ? -1 : y < x ? 1 : 0; };
    if (a.value.index() != b.value.index())
        return std::nullopt;
    if (const auto* x = std::get_if<LONG>(&a.value))
        return order(*x, std::get<LONG>(b.value));
    if (const auto* x = std::get_if<bool>(&a.value))
        return order(*x, std::get<bool>(b.value));
    if (const auto* x = std::get_if<FILETIME>(&a.value)) {
        const FILETIME& y = std::get<FILETIME>(b.value);
        return order(ULONGLONG(x->dwHighDateTime) << 32 | x->dwLowDateTime,
                     ULONGLONG(y.dwHighDateTime) << 32 | y.dwLowDateTime);
    }
    if (const auto* x = std::get_if<std::string>(&a.value)) { // without regard to case
        const int result =
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, utf8ToWide(*x).c_str(), -1,
                           utf8ToWide(std::get<std::string>(b.value)).c_str(), -1);
        return result ? result - CSTR_EQUAL : 0;
    }
    return order(std::get<Bytes>(a.value), std::get<Bytes>(b.value));
}

// A restriction's value in the provider's form; nothing for types it does not keep.
std::optional<Property> valueOf(const SPropValue& value) {
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_LONG:
        return longProperty(value.ulPropTag, value.Value.l);
    case PT_BOOLEAN:
        return boolProperty(value.ulPropTag, value.Value.b != 0);
    case PT_SYSTIME:
        return timeProperty(value.ulPropTag, value.Value.ft);
    case PT_STRING8:
        return textProperty(value.ulPropTag, ansiToUtf8(value.Value.lpszA));
    case PT_UNICODE:
        return textProperty(value.ulPropTag, wideToUtf8(value.Value.lpszW));
    case PT_BINARY:
        return binaryProperty(value.ulPropTag,
                              Bytes(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb));
    default:
        return std::nullopt;
    }
}

// The row's property of that tag, when its type is the tag's (8-bit and wide texts alike).
const Property* typed(const Properties& row, ULONG tag) {
    const Property* property = find(row, tag);
    if (!property)
        return nullptr;
    auto kind = [](ULONG type) { return type == PT_STRING8 ? ULONG(PT_UNICODE) : type; };
    return kind(PROP_TYPE(property->tag)) == kind(PROP_TYPE(tag)) ? property : nullptr;
}

// Whether a row matches; an error for restrictions the table cannot evaluate.
HRESULT matches(const Properties& row, const SRestriction& restriction, int depth, bool& result) {
    if (depth > 64)
        return MAPI_E_TOO_COMPLEX;
    switch (restriction.rt) {
    case RES_AND:
    case RES_OR: {
        const bool all = restriction.rt == RES_AND;
        const SAndRestriction& parts = restriction.res.resAnd;
        result = all;
        for (ULONG i = 0; i < parts.cRes; ++i) {
            bool part = false;
            if (const HRESULT error = matches(row, parts.lpRes[i], depth + 1, part); FAILED(error))
                return error;
            if (part != all) {
                result = part;
                break;
            }
        }
        return S_OK;
    }
    case RES_NOT: {
        const HRESULT error = matches(row, *restriction.res.resNot.lpRes, depth + 1, result);
        result = !result;
        return error;
    }
    case RES_EXIST:
        result = find(row, restriction.res.resExist.ulPropTag) != nullptr;
        return S_OK;
    case RES_PROPERTY: {
        const SPropertyRestriction& test = restriction.res.resProperty;
        if (!test.lpProp)
            return MAPI_E_INVALID_PARAMETER;
        const auto wanted = valueOf(*test.lpProp);
        const Property* have = typed(row, test.ulPropTag);
        const auto order = wanted && have ? compare(*have, *wanted) : std::nullopt;
        result = false; // a row without the property, or with another type, does not match
        if (!order)
            return S_OK;
        switch (test.relop) {
        case RELOP_LT:
            result = *order < 0;
            break;
        case RELOP_LE:
            result = *order <= 0;
            break;
        case RELOP_GT:
            result = *order > 0;
            break;
        case RELOP_GE:
            result = *order >= 0;
            break;
        case RELOP_EQ:
            result = *order == 0;
            break;
        case RELOP_NE:
            result = *order != 0;
            break;
        default:
            return MAPI_E_TOO_COMPLEX;
        }
        return S_OK;
    }
    default:
        return MAPI_E_TOO_COMPLEX;
    }
}

// The tags a restriction looks at.
void tagsOf(const SRestriction& restriction, int depth, std::vector<ULONG>& tags) {
    if (depth > 64)
        return; // refused by matches()
    switch (restriction.rt) {
    case RES_AND:
    case RES_OR:
        for (ULONG i = 0; i < restriction.res.resAnd.cRes; ++i)
            tagsOf(restriction.res.resAnd.lpRes[i], depth + 1, tags);
        break;
    case RES_NOT:
        if (restriction.res.resNot.lpRes)
            tagsOf(*restriction.res.resNot.lpRes, depth + 1, tags);
        break;
    case RES_EXIST:
        tags.push_back(restriction.res.resExist.ulPropTag);
        break;
    case RES_PROPERTY:
        tags.push_back(restriction.res.resProperty.ulPropTag);
        break;
    default:
        break;
    }
}

} // namespace

Table::Table(std::vector<Properties> rows, std::vector<ULONG> defaultColumns,
             std::vector<ULONG> keys, Completion complete)
    : rows_(std::move(rows)), keys_(std::move(keys)), complete_(std::move(complete)),
      whole_(rows_.size(), !complete_), columns_(std::move(defaultColumns)) {
    for (size_t i = 0; i < rows_.size(); ++i)
        view_.push_back(i);
}

bool Table::inPart(const std::vector<ULONG>& tags) const {
    return !complete_ || std::all_of(tags.begin(), tags.end(), [&](ULONG tag) {
        return std::any_of(keys_.begin(), keys_.end(),
                           [&](ULONG key) { return PROP_ID(key) == PROP_ID(tag); });
    });
}

void Table::makeWhole(size_t row) {
    if (!whole_[row]) {
        rows_[row] = complete_(row);
        whole_[row] = true;
    }
}

// Sorts the rows let through; rows without a key's property come after those with it.
void Table::arrange() {
    std::vector<ULONG> tags;
    for (const SSortOrder& key : order_)
        tags.push_back(key.ulPropTag);
    if (!inPart(tags))
        for (size_t row : view_)
            makeWhole(row);
    std::stable_sort(view_.begin(), view_.end(), [&](size_t a, size_t b) {
        for (const SSortOrder& key : order_) {
            const Property* x = typed(rows_[a], key.ulPropTag);
            const Property* y = typed(rows_[b], key.ulPropTag);
            if (!x || !y) {
                if (x || y)
                    return x != nullptr;
                continue;
            }
            const int order = compare(*x, *y).value_or(0);
            if (order)
                return key.ulOrder == TABLE_SORT_DESCEND ? order > 0 : order < 0;
        }
        return false;
    });
}

STDMETHODIMP Table::Restrict(LPSRestriction restriction, ULONG) {
    MAILDIR_FAULT_POINT("IMAPITable::Restrict");
    if (restriction) {
        std::vector<ULONG> tags;
        tagsOf(*restriction, 0, tags);
        if (!inPart(tags))
            for (size_t row = 0; row < rows_.size(); ++row)
                makeWhole(row);
    }
    std::vector<size_t> chosen;
    for (size_t i = 0; i < rows_.size(); ++i) {
        bool keep = true;
        if (restriction)
            if (const HRESULT error = matches(rows_[i], *restriction, 0, keep); FAILED(error))
                return error;
        if (keep)
            chosen.push_back(i);
    }
    view_ = std::move(chosen);
    arrange();
    cursor_ = 0;
    return S_OK;
}

STDMETHODIMP Table::SortTable(LPSSortOrderSet order, ULONG) {
    MAILDIR_FAULT_POINT("IMAPITable::SortTable");
    if (!order)
        return MAPI_E_INVALID_PARAMETER;
    if (order->cCategories)
        return MAPI_E_TOO_COMPLEX; // no categorised views
    order_.assign(order->aSort, order->aSort + order->cSorts);
    std::sort(view_.begin(), view_.end()); // from the rows' own order, as every sort does
    arrange();
    cursor_ = 0;
    return S_OK;
}

STDMETHODIMP Table::GetRowCount(ULONG, ULONG* count) {
    MAILDIR_FAULT_POINT("IMAPITable::GetRowCount");
    if (!count)
        return MAPI_E_INVALID_PARAMETER;
    *count = ULONG(view_.size());
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
        start = LONG(view_.size());
    else
        return MAPI_E_INVALID_BOOKMARK;
    // In 64 bits: a count near LONG_MAX from a row past the first must not wrap around.
    const LONG target = LONG(std::clamp<long long>(0LL + start + rows, 0, LONG(view_.size())));
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
    *denominator = ULONG(std::max<size_t>(view_.size(), 1));
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
        last = LONG(std::min<long long>(0LL + cursor_ + count, LONG(view_.size())));
    else
        first = std::max<LONG>(cursor_ + count, 0);
    const ULONG returned = ULONG(last - first);

    void* buffer = nullptr;
    if (FAILED(allocateBuffer(CbNewSRowSet(returned ? returned : 1), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* set = static_cast<SRowSet*>(buffer);
    set->cRows = 0;
    if (!inPart(columns_))
        for (LONG i = first; i < last; ++i)
            makeWhole(view_[size_t(i)]);
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
            fillValue(rows_[view_[size_t(i)]], columns_[c], array[c], values);
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
