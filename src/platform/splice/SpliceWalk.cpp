#include "platform/splice/SpliceWalk.h"

namespace plyfold::splice {

void walkReachable(const std::vector<QPDFObjectHandle>& roots,
                   const std::function<bool(QPDFObjectHandle&)>& enter, std::string_view skipKey) {
    std::vector<QPDFObjectHandle> stack(roots.rbegin(), roots.rend());
    const auto follow = [&](QPDFObjectHandle item) {
        if (item.isIndirect()) {
            if (!enter(item)) {
                return;
            }
        } else if (!item.isArray() && !item.isDictionary()) {
            return; // a direct scalar reaches nothing
        }
        stack.push_back(item);
    };
    while (!stack.empty()) {
        QPDFObjectHandle object = stack.back();
        stack.pop_back();
        if (object.isStream()) {
            follow(object.getDict());
        } else if (object.isArray()) {
            // (One copy of the items: the library's item iterator costs several times as much.)
            for (const QPDFObjectHandle& item : object.getArrayAsVector()) {
                follow(item);
            }
        } else if (object.isDictionary()) {
            // (One copy of the entries: the library's item iterator copies the keys and then
            // looks each one up again.)
            for (auto& [key, value] : object.getDictAsMap()) {
                if (key != skipKey) {
                    follow(value);
                }
            }
        }
    }
}

} // namespace plyfold::splice
