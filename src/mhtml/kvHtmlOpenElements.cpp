#include "kvHtmlOpenElements.h"

#include <utility>

void TkvHtmlOpenElements::Push(Element element)
{
    const size_t index = elements.size();
    const bool html = element.ns == Namespace::Html;
    (html ? htmlPositions : foreignPositions)[element.name].push_back(index);
    if (html)
        htmlIndexes.push_back(index);
    if (element.scopeBoundary)
        boundaryIndexes.push_back(index);
    if (element.special)
        specialIndexes.push_back(index);
    elements.push_back(std::move(element));
}

void TkvHtmlOpenElements::Pop()
{
    const Element &top = elements.back();
    if (top.scopeBoundary)
        boundaryIndexes.pop_back();
    if (top.special)
        specialIndexes.pop_back();
    if (top.ns == Namespace::Html)
        htmlIndexes.pop_back();
    // (erased when empty, so that lastOf needs no emptiness check)
    auto &positions = top.ns == Namespace::Html ? htmlPositions : foreignPositions;
    const auto it = positions.find(top.name);
    it->second.pop_back();
    if (it->second.empty())
        positions.erase(it);
    elements.pop_back();
}
