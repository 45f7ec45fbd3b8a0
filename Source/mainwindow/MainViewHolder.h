#pragma once
// Where the rest of the program finds the main view controller: the application's delegate keeps
// it, and the controller enters itself when its view has loaded and leaves when it goes. Main
// thread only.

namespace vantle {

class MainViewController;

class MainViewHolder {
public:
    virtual ~MainViewHolder() = default;

    virtual MainViewController* mainViewController() const = 0;
    virtual void setMainViewController(MainViewController* controller) = 0;

    // The application's holder; null when there is none.
    static MainViewHolder* shared();

protected:
    // The holder says when it becomes the application's one and when it stops being it.
    static void setShared(MainViewHolder* holder);
};

} // namespace vantle
