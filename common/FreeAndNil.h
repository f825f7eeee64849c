#pragma once
// Frees an object held in a shared variable: the variable is cleared first, so nothing reaches a
// half-destroyed object through it.
template <class T> void FreeAndNil(T*& p) {
    T* old = p;
    p = nullptr;
    delete old;
}
