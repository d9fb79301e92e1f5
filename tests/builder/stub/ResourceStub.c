/* A stand-in installer for the package builder's tests: an executable with ordinary resources
 * (a dialog, a string table, data under a number and under a name, a manifest) into which
 * tarvo-build puts a package. Run, it checks what the installer relies on:
 *   - FindResourceW finds RT_RCDATA 24356 and the bytes end in the archive trailer's magic values;
 *   - the stub's own resources are still found and hold what the resource script gave them;
 *   - the header checksum matches the one imagehlp computes over the file.
 * With a path argument it writes the package bytes there, for tarvo-build to check.
 * Exit code 0 when every check passes, 1 otherwise, 3 when there is no package at all. */
#include <windows.h>
#include <imagehlp.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

static void Check(int ok, const char* what) {
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

static const BYTE* ResourceBytes(LPCWSTR type, LPCWSTR name, DWORD* size) {
    HRSRC found = FindResourceW(NULL, name, type);
    HGLOBAL loaded;
    if (!found) return NULL;
    loaded = LoadResource(NULL, found);
    *size = SizeofResource(NULL, found);
    return loaded ? (const BYTE*)LockResource(loaded) : NULL;
}

static DWORD Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24); }

int main(int argc, char** argv) {
    DWORD size = 0, headerSum = 0, fileSum = 0;
    const BYTE* package = ResourceBytes(MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(24356), &size);
    const BYTE* data;
    WCHAR text[64], self[MAX_PATH];

    if (!package) {
        printf("no package resource\n");
        return 3;
    }
    printf("package: %lu bytes\n", (unsigned long)size);
    Check(size >= 128 + 24 && Le32(package + size - 8) == 0x03345283u && Le32(package + size - 4) == 0x0EFFF343u,
          "the package ends in the archive trailer");
    if (argc > 1) {
        FILE* out = fopen(argv[1], "wb");
        Check(out && fwrite(package, 1, size, out) == size && fclose(out) == 0, "package written out");
    }

    Check(FindResourceW(NULL, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(5)) != NULL, "dialog 101 found");
    Check(LoadStringW(NULL, 201, text, 64) > 0 && wcscmp(text, L"Tarvo stub string") == 0, "string 201 loads");
    data = ResourceBytes(MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(7), &size);
    Check(data && size >= 10 && memcmp(data, "hello stub", 10) == 0, "RCDATA 7 holds its bytes");
    data = ResourceBytes(L"CUSTOMTYPE", L"NAMEDRES", &size);
    Check(data && size >= 14 && memcmp(data, "named resource", 14) == 0, "named resource found");
    data = ResourceBytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), &size);
    Check(data && size > 0 && strstr((const char*)data, "asInvoker") != NULL, "manifest found");

    GetModuleFileNameW(NULL, self, MAX_PATH);
    Check(MapFileAndCheckSumW(self, &headerSum, &fileSum) == CHECKSUM_SUCCESS && headerSum != 0 && headerSum == fileSum,
          "header checksum matches the file");
    printf("checksum: header %08lx, file %08lx\n", (unsigned long)headerSum, (unsigned long)fileSum);
    return failures ? 1 : 0;
}
