// A host that loads brem32.dll by its full path from wherever it lies and
// files the news of a spool with compressed batches:
//   newshost DLL-PATH SPOOL STORE
// Exit 0 when at least one batch was filed, 1 when none, 2 when the DLL
// cannot be loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using ImpNews = int32_t(__stdcall*)(char*, char*, const char*, const char*, int32_t, int32_t);

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    HMODULE lib = LoadLibraryA(argv[1]);
    auto impnews = lib ? reinterpret_cast<ImpNews>(reinterpret_cast<void*>(GetProcAddress(lib, "IMPNEWS"))) : nullptr;
    if (!impnews) return 2;
    int filed = 0;
    for (int i = 0; i < 10; ++i) {
        std::string spool = argv[2], store = argv[3];
        std::vector<char> sp(spool.begin(), spool.end()), st(store.begin(), store.end());
        sp.resize(sp.size() + 2, '\0');
        st.resize(st.size() + 2, '\0');
        int32_t r = impnews(sp.data(), st.data(), "hubsite", "mybox", 0, 16);
        std::printf("IMPNEWS %d\n", r);
        if (r != 0) break;
        ++filed;
    }
    return filed > 0 ? 0 : 1;
}
