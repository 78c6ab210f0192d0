#include "AddOnXml.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "Destination.h"
#include "PackageInfo.h"

namespace kit {

namespace {

std::string TrimXml(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

struct Tag {
    size_t begin = 0, end = 0;  // '<' and after '>'
    std::string name;           // lower case
    bool closing = false, empty = false;
};

// The element tags of the bytes in their order; comments, CDATA, processing instructions and
// declarations are passed over whole, so that nothing inside them counts. A tag cut short ends
// the list.
std::vector<Tag> Tags(const std::string& s) {
    std::vector<Tag> tags;
    size_t i = 0;
    while ((i = s.find('<', i)) != std::string::npos) {
        auto skip = [&](const char* open, const char* close) {
            if (s.compare(i, std::char_traits<char>::length(open), open) != 0) return false;
            size_t e = s.find(close, i + std::char_traits<char>::length(open));
            i = e == std::string::npos ? s.size() : e + std::char_traits<char>::length(close);
            return true;
        };
        if (skip("<!--", "-->") || skip("<![CDATA[", "]]>") || skip("<?", "?>") || skip("<!", ">")) continue;
        size_t close = s.find('>', i);
        if (close == std::string::npos) break;
        Tag t;
        t.begin = i;
        t.end = close + 1;
        size_t n = i + 1;
        if (n < close && s[n] == '/') t.closing = true, ++n;
        size_t nameEnd = n;
        while (nameEnd < close && !std::isspace(static_cast<unsigned char>(s[nameEnd])) && s[nameEnd] != '/') ++nameEnd;
        t.name = LowerCase(s.substr(n, nameEnd - n));
        t.empty = close > i && s[close - 1] == '/';
        tags.push_back(t);
        i = close + 1;
    }
    return tags;
}

size_t LineStart(const std::string& s, size_t at) {
    size_t nl = at == 0 ? std::string::npos : s.rfind('\n', at - 1);
    return nl == std::string::npos ? 0 : nl + 1;
}

bool OnlySpaces(const std::string& s, size_t from, size_t to) {
    for (size_t k = from; k < to; ++k)
        if (s[k] != ' ' && s[k] != '\t') return false;
    return true;
}

void AppendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string XmlUnescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t semi = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (semi == std::string::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        const std::string entity = text.substr(i + 1, semi - i - 1);
        static const struct {
            const char* name;
            char c;
        } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& n : kNamed)
            if (entity == n.name) out += n.c, done = true;
        if (!done && entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string digits = entity.substr(hex ? 2 : 1);
            char* stop = nullptr;
            unsigned long c = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
            if (!digits.empty() && *stop == '\0' && c > 0 && c <= 0x10FFFF) AppendUtf8(out, c), done = true;
        }
        if (!done) {
            out += text[i];
            continue;
        }
        i = semi;
    }
    return out;
}

std::string AddOnXml::EmptyDocument(const std::string& packageName, const std::string& le) {
    const std::string name = XmlEscape(packageName);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + le +
           "<SimBase.Document Type=\"AddOnXml\" version=\"4,0\" id=\"add-on\">" + le + "    <AddOn.Name>" + name +
           "</AddOn.Name>" + le + "    <AddOn.Description>" + name + "</AddOn.Description>" + le +
           "</SimBase.Document>" + le;
}

std::vector<AddOnXml::Component> AddOnXml::Components() const {
    std::vector<Component> out;
    const std::vector<Tag> tags = Tags(bytes_);
    for (size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].name != "addon.component" || tags[i].closing || tags[i].empty) continue;
        size_t j = i + 1;
        while (j < tags.size() && tags[j].name != "addon.component") ++j;
        if (j == tags.size()) break;  // not closed: no component
        // Not closed before the next one begins: no component, or it would reach over the next
        // one's lines and take them along when it is taken out.
        if (!tags[j].closing) {
            i = j - 1;
            continue;
        }
        Component c;
        c.begin = tags[i].begin;
        c.end = tags[j].end;
        // The text of each property: from its start tag to the next tag.
        for (size_t k = i + 1; k + 1 < j; ++k) {
            if (tags[k].closing || tags[k].empty) continue;
            std::string* field = tags[k].name == "category" ? &c.category
                                 : tags[k].name == "path"   ? &c.path
                                 : tags[k].name == "name"   ? &c.name
                                                            : nullptr;
            if (field) *field = TrimXml(XmlUnescape(bytes_.substr(tags[k].end, tags[k + 1].begin - tags[k].end)));
        }
        out.push_back(c);
        i = j;
    }
    return out;
}

int AddOnXml::FindPath(const std::string& folder, const std::string& xmlFolder) const {
    const std::string want = LowerCase(NoTrailingSlash(folder));
    const std::vector<Component> all = Components();
    for (size_t i = 0; i < all.size(); ++i)
        if (LowerCase(all[i].category) == "scenery" && !all[i].path.empty() &&
            LowerCase(ResolveLocal(all[i].path, xmlFolder)) == want)
            return int(i + 1);
    return 0;
}

bool AddOnXml::AddScenery(const std::string& packageName, const std::string& name, const std::string& path,
                          AddedArea& added, std::string& why) {
    const bool fresh = bytes_.empty();
    if (fresh) bytes_ = EmptyDocument(packageName);
    const std::vector<Tag> tags = Tags(bytes_);
    const Tag* open = nullptr;
    const Tag* close = nullptr;
    const Tag* firstChild = nullptr;
    for (const Tag& t : tags) {
        if (t.name == "simbase.document" && !t.closing && !t.empty && !open)
            open = &t;
        else if (open && !close && !firstChild && !t.closing)
            firstChild = &t;
        if (open && t.name == "simbase.document" && t.closing) close = &t;
    }
    if (!open || !close) {
        why = "it is no add-on package that Setup can add to (no SimBase.Document element)";
        return false;
    }
    const std::string le = LineEndOf(bytes_);
    // The indent of the document's own properties, else four spaces.
    std::string indent = "    ";
    if (firstChild && firstChild->begin < close->begin) {
        size_t ls = LineStart(bytes_, firstChild->begin);
        if (ls > open->begin && OnlySpaces(bytes_, ls, firstChild->begin))
            indent = bytes_.substr(ls, firstChild->begin - ls);
    }
    const std::string inner = indent.empty() ? "    " : indent + indent;
    const std::string element = "<AddOn.Component>" + le + inner + "<Category>Scenery</Category>" + le + inner +
                                "<Path>" + XmlEscape(path) + "</Path>" + le + inner + "<Name>" + XmlEscape(name) +
                                "</Name>" + le + indent + "</AddOn.Component>" + le;
    added = AddedArea{};
    added.local = path;
    // On a line of its own before the end tag; when the end tag follows other text on its line,
    // a line end first. What goes before the element is recorded: its take-out takes that too.
    size_t at = LineStart(bytes_, close->begin);
    added.separator = indent;
    if (!OnlySpaces(bytes_, at, close->begin)) {
        at = close->begin;
        added.separator = le + indent;
    }
    const std::vector<Component> was = Components();
    int before = 0;
    for (const Component& c : was) before += c.begin < at;
    added.number = before + 1;
    AddOnXml after(bytes_);
    after.bytes_.insert(at, added.separator + element);
    // The file as the simulator will read it: every component as it was, and the new one as
    // written. Not so when the end tag lies inside another element that is not closed before
    // it: the new component would become part of that one.
    const std::vector<Component> now = after.Components();
    auto same = [](const Component& a, const Component& b) {
        return a.category == b.category && a.path == b.path && a.name == b.name;
    };
    const size_t n = size_t(before), start = at + added.separator.size();
    if (now.size() != was.size() + 1 || now[n].begin != start || now[n].end != start + element.size() - le.size() ||
        !std::equal(was.begin(), was.begin() + n, now.begin(), same) ||
        !std::equal(was.begin() + n, was.end(), now.begin() + (n + 1), same)) {
        why = "its elements are not closed in the order an add-on package's are, so Setup cannot add to it safely";
        if (fresh) bytes_.clear();
        return false;
    }
    bytes_ = std::move(after.bytes_);
    return true;
}

bool AddOnXml::RemoveScenery(const AddedArea& area) {
    const std::vector<Component> all = Components();
    const Component* target = nullptr;
    auto samePath = [&area](const Component& c) {
        return LowerCase(c.category) == "scenery" && LowerCase(c.path) == LowerCase(TrimXml(area.local));
    };
    if (area.number >= 1 && size_t(area.number) <= all.size() && samePath(all[area.number - 1]))
        target = &all[area.number - 1];
    for (const Component& c : all)
        if (!target && samePath(c)) target = &c;
    if (!target) return false;
    size_t begin = target->begin, end = target->end;
    // What the add put before it, when it is still there; else its indent when nothing else
    // stands before it on its line. And the line end after it.
    const std::string& sep = area.separator;
    size_t ls = LineStart(bytes_, begin);
    if (!sep.empty() && begin >= sep.size() && bytes_.compare(begin - sep.size(), sep.size(), sep) == 0)
        begin -= sep.size();
    else if (OnlySpaces(bytes_, ls, begin))
        begin = ls;
    if (bytes_.compare(end, 2, "\r\n") == 0)
        end += 2;
    else if (end < bytes_.size() && bytes_[end] == '\n')
        end += 1;
    bytes_.erase(begin, end - begin);
    // What is left is the document an add made from nothing: nothing again.
    for (const Tag& t : Tags(bytes_)) {
        if (t.name != "addon.name" || t.closing) continue;
        size_t next = bytes_.find('<', t.end);
        if (next == std::string::npos) break;
        const std::string name = XmlUnescape(bytes_.substr(t.end, next - t.end));
        if (bytes_ == EmptyDocument(name, LineEndOf(bytes_))) bytes_.clear();
        break;
    }
    return true;
}

}  // namespace kit
