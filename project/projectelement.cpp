// The solution tree element.
#include "project/projectelement.h"

ProjectElementKind projectElementKind(const QByteArray &tagName)
{
    if (tagName == "solution")
        return ProjectElementKind::Solution;
    if (tagName == "configuration")
        return ProjectElementKind::Configuration;
    if (tagName == "project")
        return ProjectElementKind::Project;
    if (tagName == "folder")
        return ProjectElementKind::Folder;
    if (tagName == "file")
        return ProjectElementKind::File;
    return ProjectElementKind::Other;
}

ProjectElement *asProjectElement(XMLNode *node)
{
    return dynamic_cast<ProjectElement *>(node);
}

const ProjectElement *asProjectElement(const XMLNode *node)
{
    return dynamic_cast<const ProjectElement *>(node);
}

ProjectElement::ProjectElement(const QByteArray &tagName)
    : XMLElement(tagName), m_kind(projectElementKind(tagName))
{
}

ProjectElement::~ProjectElement() = default;

void ProjectElement::setName(const QByteArray &name)
{
    XMLElement::setName(name);
    m_kind = projectElementKind(name);
    treeChanged();
}

void ProjectElement::appendChild(std::unique_ptr<XMLNode> node)
{
    XMLNode *raw = node.get();
    XMLElement::appendChild(std::move(node));
    childMoved(raw);
}

XMLNode *ProjectElement::prependChild(std::unique_ptr<XMLNode> node)
{
    XMLNode *raw = XMLElement::prependChild(std::move(node));
    childMoved(raw);
    return raw;
}

std::unique_ptr<XMLNode> ProjectElement::removeChild(XMLNode *node)
{
    auto removed = XMLElement::removeChild(node);
    if (removed) {
        forgetConfiguration(removed.get());
        childMoved(removed.get());
    }
    return removed;
}

std::unique_ptr<XMLNode> ProjectElement::replaceChild(XMLNode *oldChild,
                                                      std::unique_ptr<XMLNode> newChild)
{
    XMLNode *raw = newChild.get();
    auto removed = XMLElement::replaceChild(oldChild, std::move(newChild));
    if (removed) {
        forgetConfiguration(removed.get());
        childMoved(removed.get());
        childMoved(raw);
    }
    return removed;
}

void ProjectElement::insertChildrenAfter(XMLNode *reference,
                                         std::vector<std::unique_ptr<XMLNode>> chain)
{
    std::vector<XMLNode *> moved;
    for (const std::unique_ptr<XMLNode> &node : chain)
        moved.push_back(node.get());
    XMLElement::insertChildrenAfter(reference, std::move(chain));
    for (XMLNode *node : moved)
        childMoved(node);
}

void ProjectElement::childMoved(XMLNode *node)
{
    // A child that joins stops being the top of a tree of its own; one that
    // leaves becomes one, with a state that none of its values was computed in.
    if (const ProjectElement *element = asProjectElement(node))
        element->m_treeState.reset();
    treeChanged();
}

void ProjectElement::forgetConfiguration(const XMLNode *node)
{
    for (auto it = m_configurations.begin(); it != m_configurations.end();) {
        if (it.value() == node)
            it = m_configurations.erase(it);
        else
            ++it;
    }
}

void ProjectElement::setProperty(const QString &name, const QString &value)
{
    m_properties.insert(name, value);
    m_modified = true;
    treeChanged();
}

void ProjectElement::removeProperty(const QString &name)
{
    m_properties.remove(name);
    m_modified = true;
    treeChanged();
}

void ProjectElement::indexConfiguration(const QString &name, ProjectElement *configuration)
{
    m_configurations.insert(name, configuration);
    treeChanged();
}

void ProjectElement::setFilePath(const QString &path)
{
    m_filePath = path;
    m_hasOwnFile = true;
    treeChanged();
}

ProjectElement *ProjectElement::parentElement() const
{
    return asProjectElement(parent());
}

ProjectElement *ProjectElement::firstChildProjectElement() const
{
    for (XMLNode *child = firstChild(); child; child = child->nextSibling()) {
        if (ProjectElement *element = asProjectElement(child))
            return element;
    }
    return nullptr;
}

ProjectElement *ProjectElement::nextSiblingProjectElement() const
{
    for (XMLNode *sibling = nextSibling(); sibling; sibling = sibling->nextSibling()) {
        if (ProjectElement *element = asProjectElement(sibling))
            return element;
    }
    return nullptr;
}

const ProjectElement *ProjectElement::treeTop() const
{
    const ProjectElement *top = this;
    while (const ProjectElement *parent = top->parentElement())
        top = parent;
    return top;
}

std::shared_ptr<const ProjectElement::TreeState> ProjectElement::treeState() const
{
    const ProjectElement *top = treeTop();
    if (!top->m_treeState)
        top->m_treeState = std::make_shared<const TreeState>();
    return top->m_treeState;
}

void ProjectElement::treeChanged()
{
    treeTop()->m_treeState.reset();
}

bool ProjectElement::cachedValue(const QString &key, QString &value) const
{
    if (!m_cacheState || m_cacheState != treeState())
        return false;
    const auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return false;
    value = it.value();
    return true;
}

void ProjectElement::cacheValue(const QString &key, const QString &value) const
{
    const std::shared_ptr<const TreeState> state = treeState();
    if (m_cacheState != state) {
        m_cache.clear();
        m_cacheState = state;
    }
    m_cache.insert(key, value);
}
