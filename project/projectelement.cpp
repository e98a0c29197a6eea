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
    : XMLElement(tagName), m_kind(projectElementKind(tagName)), m_record(std::make_shared<TreeRecord>())
{
}

ProjectElement::~ProjectElement() = default;

void ProjectElement::setName(const QByteArray &name)
{
    XMLElement::setName(name);
    m_kind = projectElementKind(name);
    if (ProjectElement *parent = parentElement())
        parent->childKindChanged();
    shapeChanged();
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
    if (const ProjectElement *element = asProjectElement(node)) {
        // A child that joins brings its tree into this one.
        if (element->parent() == this) {
            std::shared_ptr<TreeRecord> mine = treeRecord();
            std::shared_ptr<TreeRecord> theirs = element->treeRecord();
            if (mine != theirs) {
                if (mine->rank < theirs->rank)
                    std::swap(mine, theirs);
                theirs->merged = mine;
                if (mine->rank == theirs->rank)
                    ++mine->rank;
            }
        }
        // Where it stands has changed, for it and all below it.
        element->shapeChanged();
        if (element->kind() == ProjectElementKind::Folder) {
            // A folder appended at the end keeps the list in order.
            if (m_childFoldersKnown && element->parent() == this && lastChild() == node)
                m_childFolders.push_back(const_cast<ProjectElement *>(element));
            else
                m_childFoldersKnown = false;
        }
    }
    treeChanged();
}

void ProjectElement::childKindChanged()
{
    m_childFoldersKnown = false;
}

void ProjectElement::forgetConfiguration(const XMLNode *node)
{
    const bool had = !m_configurations.isEmpty();
    for (auto it = m_configurations.begin(); it != m_configurations.end();) {
        if (it.value() == node)
            it = m_configurations.erase(it);
        else
            ++it;
    }
    if (had && m_configurations.isEmpty())
        shapeChanged();
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
    if (m_configurations.isEmpty())
        shapeChanged();
    m_configurations.insert(name, configuration);
    treeChanged();
}

void ProjectElement::setFilePath(const QString &path)
{
    m_filePath = path;
    if (!m_hasOwnFile)
        shapeChanged();
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

const std::vector<ProjectElement *> &ProjectElement::childFolders() const
{
    if (!m_childFoldersKnown) {
        m_childFolders.clear();
        for (ProjectElement *child = firstChildProjectElement(); child; child = child->nextSiblingProjectElement()) {
            if (child->kind() == ProjectElementKind::Folder)
                m_childFolders.push_back(child);
        }
        m_childFoldersKnown = true;
    }
    return m_childFolders;
}

std::shared_ptr<ProjectElement::TreeRecord> ProjectElement::treeRecord() const
{
    std::shared_ptr<TreeRecord> top = m_record;
    while (top->merged)
        top = top->merged;
    // Every record on the way now leads to the top at once.
    for (std::shared_ptr<TreeRecord> record = m_record; record != top;) {
        std::shared_ptr<TreeRecord> next = record->merged;
        record->merged = top;
        record = next;
    }
    m_record = top;
    return top;
}

void ProjectElement::treeChanged()
{
    ++treeRecord()->changes;
}

ProjectElement::Shape ProjectElement::currentShape() const
{
    std::shared_ptr<TreeRecord> record = treeRecord();
    const quint64 count = record->shapes;
    return Shape{std::move(record), count};
}

void ProjectElement::shapeChanged() const
{
    m_enclosing.reset();
    // Nothing below remembers an answer of this shape: nothing to forget.
    const Shape now = currentShape();
    if (m_rememberedBelow == now)
        ++now.record->shapes;
}

bool ProjectElement::cachedValue(const QString &key, QString &value) const
{
    const std::shared_ptr<TreeRecord> record = treeRecord();
    if (m_cacheRecord != record || m_cacheChanges != record->changes)
        return false;
    const auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return false;
    value = it.value();
    return true;
}

void ProjectElement::cacheValue(const QString &key, const QString &value) const
{
    const std::shared_ptr<TreeRecord> record = treeRecord();
    if (m_cacheRecord != record || m_cacheChanges != record->changes) {
        m_cache.clear();
        m_cacheRecord = record;
        m_cacheChanges = record->changes;
    }
    m_cache.insert(key, value);
}

const ProjectElement::Enclosing &ProjectElement::enclosing() const
{
    // Up to the nearest element that knows its answer for this shape, then
    // down again, each element on the way answering from its parent's.
    const Shape now = currentShape();
    std::vector<const ProjectElement *> unknown;
    const ProjectElement *known = this;
    while (known && !(known->m_enclosing && known->m_enclosingShape == now)) {
        unknown.push_back(known);
        known = known->parentElement();
    }
    Enclosing above = known ? *known->m_enclosing : Enclosing{nullptr, nullptr, nullptr, nullptr};
    for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
        ProjectElement *element = const_cast<ProjectElement *>(*it);
        if (element->kind() == ProjectElementKind::Project)
            above.project = element;
        if (element->kind() == ProjectElementKind::Solution)
            above.solution = element;
        if (element->hasOwnFile())
            above.fileOwner = element;
        if (!element->configurations().isEmpty())
            above.configured = element;
        element->m_enclosing = above;
        element->m_enclosingShape = now;
    }
    // A shape change of any element from here up must now forget.
    for (const ProjectElement *e = this; e && !(e->m_rememberedBelow == now); e = e->parentElement())
        e->m_rememberedBelow = now;
    return *m_enclosing;
}
