#pragma once

// Walking the objects that some objects reach.

#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <string_view>
#include <vector>

namespace plyfold::splice {

// Walks, depth first and without recursion, what `roots` reach through dictionaries, arrays and
// stream dictionaries. Each root is walked into. An indirect object met on the way is walked into
// when `enter` says so (it decides, and keeps track of, what was met before: loops end only
// through it); direct arrays and dictionaries always are. Entries named `skipKey` are not
// followed.
void walkReachable(const std::vector<QPDFObjectHandle>& roots,
                   const std::function<bool(QPDFObjectHandle&)>& enter,
                   std::string_view skipKey = {});

} // namespace plyfold::splice
