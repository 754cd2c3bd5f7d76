#include "regtree/Tree.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

template <typename Element, typename Value>
void setElement(Tree::Table<Element>& table, const std::string& name, Value&& value, int index)
{
    std::vector<Element>& array = table[name];
    if (index >= 0 && static_cast<std::size_t>(index) < array.size())
        array[static_cast<std::size_t>(index)] = std::forward<Value>(value);
    else
        array.push_back(std::forward<Value>(value));
}

// The element, or null when the table has no array `name` or the array is too short.
template <typename Element>
const Element* findElement(const Tree::Table<Element>& table, const std::string& name, int index)
{
    auto found = table.find(name);
    if (found == table.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.size())
        return nullptr;
    return &found->second[static_cast<std::size_t>(index)];
}

}  // namespace

std::string realText(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // Sixteen significant digits, correctly rounded, as "[-]d.ddddddddddddddde<exponent>"; the
    // runtime may print two or three exponent digits, so the exponent is parsed, not copied.
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.15e", value);
    std::string text = printed;
    std::string result;
    if (text[0] == '-') {
        result = "-";
        text.erase(0, 1);
    }
    std::size_t e = text.find('e');
    int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    digits.erase(std::max<std::size_t>(1, digits.find_last_not_of('0') + 1));

    if (exponent >= -1 && exponent <= 15) {
        if (exponent == -1) {
            result += "0." + digits;
        } else {
            std::size_t whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= whole)
                result += digits + std::string(whole - digits.size(), '0') + ".";
            else
                result += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    } else {
        char power[16];
        std::snprintf(power, sizeof power, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
        result += digits.substr(0, 1) + "." + digits.substr(1) + power;
    }
    return result;
}

Tree::~Tree()
{
    for (auto& group : groupTable)
        for (auto& child : group.second)
            if (child)
                child->parentNode = nullptr;

    if (parentNode) {
        for (auto& group : parentNode->groupTable) {
            Group& slots = group.second;
            auto slot = std::find_if(slots.begin(), slots.end(), [this](const auto& c) { return c.get() == this; });
            if (slot != slots.end()) {
                slot->release();  // this node is being destroyed already
                slots.erase(slot);
                break;
            }
        }
        parentNode = nullptr;
    }
}

void Tree::setBool(const std::string& name, bool value, int index)
{
    setElement(boolTable, name, value, index);
}

void Tree::setInt(const std::string& name, std::int32_t value, int index)
{
    setElement(intTable, name, value, index);
}

void Tree::setHex(const std::string& name, std::uint32_t value, int index)
{
    setElement(hexTable, name, value, index);
}

void Tree::setReal(const std::string& name, double value, int index)
{
    setElement(realTable, name, value, index);
}

void Tree::setString(const std::string& name, const std::string& value, int index)
{
    setElement(stringTable, name, value, index);
}

bool Tree::getText(const std::string& name, std::string& out, int index) const
{
    if (const std::string* text = findElement(stringTable, name, index)) {
        out = *text;
        return true;
    }
    if (const std::int32_t* number = findElement(intTable, name, index)) {
        out = std::to_string(*number);
        return true;
    }
    if (const std::uint32_t* number = findElement(hexTable, name, index)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%lx", static_cast<unsigned long>(*number));
        out = hex;
        return true;
    }
    if (const double* number = findElement(realTable, name, index)) {
        out = realText(*number);
        return true;
    }
    return false;
}

Tree& Tree::addChild(const std::string& group, std::unique_ptr<Tree> child)
{
    if (!child)
        child = std::make_unique<Tree>(this);
    child->parentNode = this;
    Group& slots = groupTable[group];
    slots.push_back(std::move(child));
    return *slots.back();
}
