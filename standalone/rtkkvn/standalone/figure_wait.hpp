#pragma once
// Waiting for figure windows: a standalone run keeps going while its figures are open. The
// figure queries are Q-code text evaluated in the instance, so the graphics system stays on the
// engine's side.

#include <boost/function.hpp>
#include <string>

// Called with the instance handle, the number of figures a query found and their handles.
using FigureVisitor = boost::function<void(void*, size_t, const double*)>;

// Whether the instance has figures with Visible "on" (visible) or "off"; visitor is called
// with the figures the first successful query found.
bool figuresExist(void* handle, bool visible, const FigureVisitor& visitor);
// Evaluates a figure query (Q text whose value is a list of figure handles); false when it
// finds nothing, else calls visitor with the handles and returns true. An empty visitor throws
// boost::bad_function_call.
bool evalFigureQuery(void* handle, const FigureVisitor& visitor, const std::string& query);
// The Name property of a figure, "" when the query gives no value.
std::string figureName(void* handle, double figure);
// A figure handle as text, with 17 significant digits.
std::string figureHandleText(double figure);
// Prints, when the warning "KVN:InvisibleFiguresAtExit" is on, the figures a query found.
void reportInvisibleFigures(void* handle, size_t count, const double* figures);
