#include "strategies/maven.hpp"

#include <array>

#include "core/unicode.hpp"
#include "strategies/strategy.hpp"
#include "strategies/validators.hpp"

namespace quorlen::strategies::maven {

namespace {

struct QualifierEntry {
    std::string_view word;
    int rank;
};

// The empty word is the release itself: everything before it is a
// pre-release, "sp" (service pack) comes after.
constexpr int RELEASE_RANK = 5;
constexpr std::array<QualifierEntry, 7> QUALIFIERS = {{
    {"alpha", 0}, {"beta", 1}, {"milestone", 2}, {"rc", 3}, {"snapshot", 4}, {"", RELEASE_RANK}, {"sp", 6},
}};

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

Item number_item(std::string_view digits) {
    std::size_t z = 0;
    while (z < digits.size() && digits[z] == '0') ++z;
    return Item{Item::Kind::Number, std::string(digits.substr(z)), {}};
}

Item word_item(std::string word) { return Item{Item::Kind::Word, std::move(word), {}}; }

// Position of a character in UTF-16 code-unit order: supplementary
// characters start with a surrogate (U+D800..U+DBFF), so they sort between
// U+D7FF and U+E000, unlike in code-point (and UTF-8) order.
char32_t utf16_rank(char32_t cp) noexcept { return (cp >= 0xE000 && cp <= 0xFFFF) ? cp + 0x110000 : cp; }

// Words without a rank are ordered as the UTF-16 strings they would be.
Ordering cmp_utf16(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i] == b[j] && static_cast<unsigned char>(a[i]) < 0x80) {
            ++i, ++j;
            continue;
        }
        const unicode::Decoded da = unicode::decode(a, i);
        const unicode::Decoded db = unicode::decode(b, j);
        if (da.cp != db.cp) return order_of(utf16_rank(da.cp), utf16_rank(db.cp));
        i += da.len;
        j += db.len;
    }
    return order_of(a.size() - i != 0, b.size() - j != 0);
}

// Digit texts without leading zeros: the longer is greater.
Ordering cmp_number(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return order_of(a.size(), b.size());
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

Ordering cmp_word(std::string_view a, std::string_view b) noexcept {
    const auto ra = qualifier_rank(a);
    const auto rb = qualifier_rank(b);
    if (ra && rb) return order_of(*ra, *rb);
    if (ra) return Ordering::Less;
    if (rb) return Ordering::Greater;
    return cmp_utf16(a, b);
}

// Kinds rank Number above List above Word.
int kind_rank(Item::Kind k) noexcept {
    switch (k) {
        case Item::Kind::Word: return 0;
        case Item::Kind::List: return 1;
        case Item::Kind::Number: return 2;
    }
    return 0;
}

Ordering cmp_item(const Item& a, const Item& b) noexcept {
    if (a.kind != b.kind) return order_of(kind_rank(a.kind), kind_rank(b.kind));
    switch (a.kind) {
        case Item::Kind::Number: return cmp_number(a.text, b.text);
        case Item::Kind::Word: return cmp_word(a.text, b.text);
        case Item::Kind::List: return cmp_list(a.items, b.items);
    }
    return Ordering::Equal;
}

// Drops null items from the end; a trailing non-empty List is stepped over,
// so the nulls just before it go too.
void trim_list(std::vector<Item>& list) {
    std::size_t i = list.size();
    while (i > 0) {
        const Item& it = list[i - 1];
        if (it.is_null()) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i - 1));
        } else if (it.kind != Item::Kind::List) {
            break;
        }
        --i;
    }
}

void render_into(const std::vector<Item>& items, std::string& out) {
    const std::size_t start = out.size();
    for (const Item& it : items) {
        if (out.size() > start) out.push_back(it.kind == Item::Kind::List ? '-' : '.');
        switch (it.kind) {
            case Item::Kind::Number: out += it.text.empty() ? std::string_view("0") : std::string_view(it.text); break;
            case Item::Kind::Word: out += it.text; break;
            case Item::Kind::List: render_into(it.items, out); break;
        }
    }
}

// The open lists of parse_maven, innermost last.
class ListStack {
public:
    ListStack() { lists_.emplace_back(); }

    std::vector<Item>& top() noexcept { return lists_.back(); }

    bool push() {
        if (lists_.size() >= MAX_NESTING) return false;
        lists_.emplace_back();
        return true;
    }

    // Closes every open list into its parent and hands back the root.
    std::vector<Item> close() {
        while (lists_.size() > 1) {
            std::vector<Item> inner = std::move(lists_.back());
            lists_.pop_back();
            trim_list(inner);
            lists_.back().push_back(Item{Item::Kind::List, {}, std::move(inner)});
        }
        std::vector<Item> root = std::move(lists_.back());
        trim_list(root);
        return root;
    }

private:
    std::vector<std::vector<Item>> lists_;
};

Failure nesting_failure(std::string_view input) {
    return fail("Maven version nests more than " + std::to_string(MAX_NESTING) + " levels deep: '" +
                std::string(input) + "'");
}

// ---------------------------------------------------------------- in place
//
// The tree of a text is a chain: the items of the root list, then the items
// of the list opened next, and so on. Its tokens, read in order, each carry
// the number of lists open above them (their depth), and the tokens of one
// depth form one run. Trimming keeps a run's items up to its last non-null
// one, and a list has a nested list exactly when a deeper token is non-null,
// so both follow from the next non-null token, which a look-ahead finds.

constexpr int NO_RANK = -1;

struct Token {
    std::size_t depth;  // lists opened before it, the root not counted
    std::size_t begin;  // Number: without leading zeros
    std::size_t end;
    bool number;
    int rank;  // Word: qualifier rank after the aliases, or NO_RANK

    bool null() const noexcept { return number ? begin == end : rank == RELEASE_RANK; }
};

// The rank of a word token, read through its lower-case form; qualifiers
// and their aliases are all short ASCII words.
int word_rank(std::string_view text, std::size_t begin, std::size_t end, bool followed_by_digit) noexcept {
    char buf[16];
    std::size_t n = 0;
    unicode::LowerCursor lower(text, begin, end);
    while (!lower.done()) {
        const char32_t c = lower.next();
        if (c >= 0x80 || n == sizeof buf) return NO_RANK;
        buf[n++] = static_cast<char>(c);
    }
    const std::string_view word(buf, n);
    if (followed_by_digit && n == 1) {
        switch (word[0]) {
            case 'a': return 0;
            case 'b': return 1;
            case 'm': return 2;
            default: break;
        }
    }
    if (word == "ga" || word == "final" || word == "release") return RELEASE_RANK;
    if (word == "cr") return *qualifier_rank("rc");
    const auto rank = qualifier_rank(word);
    return rank ? *rank : NO_RANK;
}

// The tokens of parse_maven in order, one at a time, with their depth.
class Tokens {
public:
    explicit Tokens(std::string_view text) noexcept : text_(text) {}

    std::size_t lists_opened() const noexcept { return depth_; }

    bool next(Token& t) noexcept {
        while (i_ < text_.size()) {
            const char c = text_[i_];
            const std::size_t i = i_++;
            if (c == '.' || c == '-') {
                if (i == start_)
                    t = Token{depth_, i, i, true, NO_RANK};
                else
                    emit(t, start_, i, digits_, false);
                top_has_items_ = true;
                if (c == '-') open();
                start_ = i + 1;
                return true;
            }
            if (is_digit(c)) {
                const bool word_ends = !digits_ && i > start_;
                digits_ = true;
                if (word_ends) {
                    if (top_has_items_) open();
                    emit(t, start_, i, false, true);
                    open();
                    start_ = i;
                    return true;
                }
            } else {
                const bool number_ends = digits_ && i > start_;
                digits_ = false;
                if (number_ends) {
                    emit(t, start_, i, true, false);
                    open();
                    start_ = i;
                    return true;
                }
            }
        }
        if (start_ < text_.size()) {
            if (!digits_ && top_has_items_) open();
            emit(t, start_, text_.size(), digits_, false);
            start_ = text_.size();
            return true;
        }
        return false;
    }

private:
    void open() noexcept {
        ++depth_;
        top_has_items_ = false;
    }

    void emit(Token& t, std::size_t begin, std::size_t end, bool number, bool followed_by_digit) noexcept {
        if (number) {
            while (begin < end && text_[begin] == '0') ++begin;
            t = Token{depth_, begin, end, true, NO_RANK};
        } else {
            t = Token{depth_, begin, end, false, word_rank(text_, begin, end, followed_by_digit)};
        }
        top_has_items_ = true;
    }

    std::string_view text_;
    std::size_t i_ = 0;
    std::size_t start_ = 0;
    std::size_t depth_ = 0;
    bool digits_ = false;
    bool top_has_items_ = false;
};

Ordering cmp_token_null(const Token& t) noexcept {
    if (t.number) return t.null() ? Ordering::Equal : Ordering::Greater;
    return t.rank == NO_RANK ? Ordering::Greater : order_of(t.rank, RELEASE_RANK);
}

// Words without a rank, as the UTF-16 strings of their lower-case forms.
Ordering cmp_lowered(std::string_view ta, const Token& a, std::string_view tb, const Token& b) noexcept {
    unicode::LowerCursor la(ta, a.begin, a.end);
    unicode::LowerCursor lb(tb, b.begin, b.end);
    while (!la.done() && !lb.done()) {
        const char32_t ca = la.next();
        const char32_t cb = lb.next();
        if (ca != cb) return order_of(utf16_rank(ca), utf16_rank(cb));
    }
    return order_of(!la.done(), !lb.done());
}

Ordering cmp_tokens(std::string_view ta, const Token& a, std::string_view tb, const Token& b) noexcept {
    if (a.number != b.number) return a.number ? Ordering::Greater : Ordering::Less;
    if (a.number) return cmp_number(ta.substr(a.begin, a.end - a.begin), tb.substr(b.begin, b.end - b.begin));
    if (a.rank != NO_RANK && b.rank != NO_RANK) return order_of(a.rank, b.rank);
    if (a.rank != NO_RANK) return Ordering::Less;
    if (b.rank != NO_RANK) return Ordering::Greater;
    return cmp_lowered(ta, a, tb, b);
}

// One text's tree, seen one list at a time.
class Side {
public:
    enum class At : uint8_t { Item, List, End };

    explicit Side(std::string_view text) noexcept : text_(text), tokens_(text) { has_ = tokens_.next(cur_); }

    std::string_view text() const noexcept { return text_; }
    const Token& item() const noexcept { return cur_; }

    // What the list at this depth holds at the current place: an item, its
    // nested list, or nothing more.
    At at(std::size_t depth) noexcept {
        if (!has_) return At::End;
        if (cur_.depth == depth && !cur_.null()) return At::Item;
        const Token* live = next_live();
        if (!live) return At::End;
        return live->depth == depth ? At::Item : At::List;
    }

    void advance() noexcept {
        has_ = tokens_.next(cur_);
        ++seq_;
    }

    // Steps into the nested list: what is left at this depth is trimmed.
    void descend(std::size_t depth) noexcept {
        while (has_ && cur_.depth == depth) advance();
    }

    // Everything left against nothing: the first non-null item decides.
    Ordering rest_against_null() noexcept {
        const Token* live = next_live();
        return live ? cmp_token_null(*live) : Ordering::Equal;
    }

private:
    static constexpr std::size_t NONE_LEFT = static_cast<std::size_t>(-1);

    // The first non-null token from the current one on. A look-ahead is
    // kept until the walk passes it, so every token is looked at twice at
    // most.
    const Token* next_live() noexcept {
        if (has_ && !cur_.null()) return &cur_;
        if (!live_known_ || live_seq_ < seq_) {
            live_known_ = true;
            live_seq_ = NONE_LEFT;
            Tokens ahead = tokens_;
            for (std::size_t s = seq_ + 1; ahead.next(live_); ++s) {
                if (!live_.null()) {
                    live_seq_ = s;
                    break;
                }
            }
        }
        return live_seq_ == NONE_LEFT ? nullptr : &live_;
    }

    std::string_view text_;
    Tokens tokens_;
    Token cur_{};
    bool has_ = false;
    std::size_t seq_ = 0;
    Token live_{};
    bool live_known_ = false;
    std::size_t live_seq_ = NONE_LEFT;
};

}  // namespace

Item parse_item(bool is_digit, std::string_view token, bool followed_by_digit) {
    if (is_digit) return number_item(token);
    // A lone a, b or m abbreviates a qualifier only when a number follows it
    // ("1a1"); on its own it is an ordinary word.
    if (followed_by_digit && token.size() == 1) {
        switch (token[0]) {
            case 'a': return word_item("alpha");
            case 'b': return word_item("beta");
            case 'm': return word_item("milestone");
            default: break;
        }
    }
    if (token == "ga" || token == "final" || token == "release") return word_item({});
    if (token == "cr") return word_item("rc");
    return word_item(std::string(token));
}

Result<std::vector<Item>> parse_maven(std::string_view input) {
    const std::string_view trimmed = unicode::trim(input);
    std::string text;
    text.reserve(trimmed.size());
    unicode::append_lower(text, trimmed);

    // Tokens are cut at ASCII characters only, so working on the UTF-8 bytes
    // gives the same tokens as working on characters: the bytes of one
    // non-ASCII character are all "other" and change no state after the first.
    ListStack stack;
    bool digits = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const std::string_view token(text.data() + start, i - start);
        if (c == '.' || c == '-') {
            stack.top().push_back(token.empty() ? Item{} : parse_item(digits, token, false));
            if (c == '-' && !stack.push()) return nesting_failure(input);
            start = i + 1;
        } else if (is_digit(c)) {
            if (!digits && !token.empty()) {
                if (!stack.top().empty() && !stack.push()) return nesting_failure(input);
                stack.top().push_back(parse_item(false, token, true));
                if (!stack.push()) return nesting_failure(input);
                start = i;
            }
            digits = true;
        } else {
            if (digits && !token.empty()) {
                stack.top().push_back(number_item(token));
                if (!stack.push()) return nesting_failure(input);
                start = i;
            }
            digits = false;
        }
    }
    if (start < text.size()) {
        if (!digits && !stack.top().empty() && !stack.push()) return nesting_failure(input);
        stack.top().push_back(parse_item(digits, std::string_view(text).substr(start), false));
    }
    return stack.close();
}

std::optional<int> qualifier_rank(std::string_view word) noexcept {
    for (const QualifierEntry& q : QUALIFIERS)
        if (q.word == word) return q.rank;
    return std::nullopt;
}

Ordering cmp_item_null(const Item& item) noexcept {
    switch (item.kind) {
        case Item::Kind::Number: return item.text.empty() ? Ordering::Equal : Ordering::Greater;
        case Item::Kind::Word: {
            const auto rank = qualifier_rank(item.text);
            return rank ? order_of(*rank, RELEASE_RANK) : Ordering::Greater;
        }
        case Item::Kind::List:
            for (const Item& it : item.items) {
                const Ordering o = cmp_item_null(it);
                if (o != Ordering::Equal) return o;
            }
            return Ordering::Equal;
    }
    return Ordering::Equal;
}

Ordering cmp_list(const std::vector<Item>& a, const std::vector<Item>& b) noexcept {
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t k = 0; k < n; ++k) {
        Ordering o;
        if (k >= b.size())
            o = cmp_item_null(a[k]);
        else if (k >= a.size())
            o = reverse(cmp_item_null(b[k]));
        else
            o = cmp_item(a[k], b[k]);
        if (o != Ordering::Equal) return o;
    }
    return Ordering::Equal;
}

std::string render(const std::vector<Item>& items) {
    std::string out;
    render_into(items, out);
    return out;
}

std::string MavenVersion::canonical() const { return render(items); }

bool nests_too_deep(std::string_view trimmed) noexcept {
    // A character opens two lists at most.
    if (trimmed.size() * 2 < MAX_NESTING) return false;
    Tokens tokens(trimmed);
    Token t{};
    while (tokens.next(t)) {
    }
    return tokens.lists_opened() >= MAX_NESTING;
}

Ordering cmp_texts(std::string_view a, std::string_view b) noexcept {
    Side sa(a);
    Side sb(b);
    using At = Side::At;
    for (std::size_t depth = 0;;) {
        const At pa = sa.at(depth);
        const At pb = sb.at(depth);
        if (pa == At::End) return pb == At::End ? Ordering::Equal : reverse(sb.rest_against_null());
        if (pb == At::End) return sa.rest_against_null();
        if (pa == At::List && pb == At::List) {
            sa.descend(depth);
            sb.descend(depth);
            ++depth;
            continue;
        }
        // Kinds rank Number above List above Word.
        if (pa == At::List) return sb.item().number ? Ordering::Less : Ordering::Greater;
        if (pb == At::List) return sa.item().number ? Ordering::Greater : Ordering::Less;
        const Ordering o = cmp_tokens(sa.text(), sa.item(), sb.text(), sb.item());
        if (o != Ordering::Equal) return o;
        sa.advance();
        sb.advance();
    }
}

}  // namespace quorlen::strategies::maven

namespace quorlen::strategies {

Result<ParsedRepr> MavenStrategy::parse(std::string_view input) {
    Status checked = validators::validate_maven(input);
    if (!checked) return std::move(checked).failure();
    auto items = maven::parse_maven(input);
    if (!items) return std::move(items).failure();
    return ParsedRepr(MavenVersion{std::move(items).value()});
}

Ordering MavenStrategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return maven::cmp_list(expect<MavenVersion>(a).items, expect<MavenVersion>(b).items);
}

namespace {

// validate_maven turns down empty texts, a first character that is no
// digit, and non-ASCII numerals: ASCII that starts with a digit and ends
// in a printable character passes, and is recognised without decoding.
bool plainly_valid(std::string_view input) noexcept {
    if (input.empty() || !maven::is_ascii_digit(input.front())) return false;
    const auto last = static_cast<unsigned char>(input.back());
    if (last <= 0x20 || last >= 0x7F) return false;
    unsigned char high = 0;
    for (const char c : input) high |= static_cast<unsigned char>(c);
    return high < 0x80;
}

// The checks of parse, in its order, without building the tree.
Status check_maven(std::string_view input) {
    if (!plainly_valid(input)) {
        Status checked = validators::validate_maven(input);
        if (!checked) return checked;
    }
    if (maven::nests_too_deep(unicode::trim(input))) return maven::nesting_failure(input);
    return success();
}

}  // namespace

Result<Ordering> MavenStrategy::compare_texts(std::string_view a, std::string_view b) {
    if (Status checked = check_maven(a); !checked) return std::move(checked).failure();
    if (Status checked = check_maven(b); !checked) return std::move(checked).failure();
    return maven::cmp_texts(unicode::trim(a), unicode::trim(b));
}

}  // namespace quorlen::strategies
