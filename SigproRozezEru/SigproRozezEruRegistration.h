#pragma once
// Registers what the effect and generator nodes need before their first unit or parameter definition is
// made: the Sigpro kernels (create functions and parameter addresses) and RozezEruAU for the component
// description of every node class. The node constructors and the first read of a parameter definition
// call it, so an application need not (it may, at start, to pay the cost early). The first call
// registers; later calls, from any thread and also concurrent ones, return once that is done.
//
// It is defined in RegisteredNodeClasses.cpp, beside the list of node classes, so that the nodes can
// call it without this header reaching every node.

namespace rozezeru {

void registerSigproRozezEru();

} // namespace rozezeru
