// Persistence of a settings tree: an abstract store, and its registry implementation.
//
// RegistryTreeStore writes a node at the key K where its Register stands:
//   K\data                 always written (even empty): the node's values
//     <tag>.<name>         an array of one element: the value itself
//     <name>\<tag>.<i>     an array of two or more: one value per element, i = 0, 1, ... in order
//   K\subs                 written when the node has any group
//     <group>              a group of one child: that child's own "data" and "subs" directly in it
//     <group>\<i>          a group of two or more: one key per child, i = 0, 1, ... in order
// Tags and registry types: "int", "bool", "hex" REG_DWORD (bool as 0/1, int as its 32 bits);
// "real" REG_BINARY of the 8 bytes of the double, least significant first; "string" REG_SZ (on
// reading, REG_EXPAND_SZ too, unexpanded). Empty arrays and empty groups leave nothing behind.
//
// Reading takes what it finds: values whose name has no dot, whose tag is unknown or whose type
// does not fit the tag are passed over; a value name's part after the first dot is its array's
// name (or, inside an array key, an index). The registry does not enumerate in the written order
// (Wine lists values sorted by name, Windows lists subkeys sorted by name, so "10" precedes "2"):
// when every element of an array key, or every child key of a group, is named by a decimal index,
// they are taken in index order; otherwise in the order the registry lists them. A "real" shorter
// than 8 bytes reads as its bytes followed by zero bytes; a longer one is passed over.
//
// Neither load nor save raises or reports anything. A key that cannot be opened or created is
// passed over with everything below it, and the store goes on with the next one at the same level.
// Both end with the Register back at K when it stood on a key at the start.
#pragma once

#include "regtree/Register.h"
#include "regtree/Tree.h"

#include <windows.h>

#include <string>

class TreeStore {
public:
    virtual ~TreeStore() = default;
    // Adds the stored node's values (appended to existing arrays) and children to `node`.
    virtual void load(Tree& node) = 0;
    // Writes `node` and its subtree. Deletes nothing: what an earlier save left stays unless the
    // caller deletes it first.
    virtual void save(const Tree& node) = 0;
};

class RegistryTreeStore : public TreeStore {
public:
    // Builds the Register on root\path with `access` in `view`; raises as its constructor does.
    RegistryTreeStore(HKEY root, const char* path, Vantor::Access access,
                      Vantor::View view = Vantor::View::shared)
        : cursor(root, path, access, view)
    {
    }

    // The cursor to position at the node's key before load or save.
    Vantor::Register& reg() { return cursor; }

    void load(Tree& node) override;
    void save(const Tree& node) override;

private:
    void readValues(Tree& node, const std::string* arrayName);
    void writeValues(const Tree& node);

    Vantor::Register cursor;
};
