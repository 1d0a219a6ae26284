#pragma once

#include <cstddef>

// RapidXML descends once per element level, so a deeply nested text can exhaust the stack.
// XmlNestingDepth walks a text the way RapidXML's full parse does, without recursion, and
// returns the deepest element level it would reach (1 for a lone top-level element, empty or
// not). It stops as soon as the depth exceeds 'limit' and then returns limit + 1. Where
// RapidXML would stop with a syntax error, the walk stops too and returns the depth reached so
// far. If 'complete' is given, it tells whether the walk reached the end of the text with
// every element closed and within the limit; closing tag names are not compared.
int XmlNestingDepth(const char* text, int limit, bool* complete = nullptr);

// The deepest nesting the checklist loader accepts. The format itself needs four levels.
constexpr int kXmlNestingLimit = 256;

// The one diagnostic line for a text refused for its nesting, on stderr.
void ReportXmlNestingTooDeep();
